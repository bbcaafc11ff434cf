#include "TestSupport.h"
#include "Trace.h"

#include <windows.h>

using trelvox::ParseTraceChannels;
using trelvox::TraceChannel;

namespace {

uint32_t Bit(TraceChannel channel) {
    return 1u << static_cast<uint32_t>(channel);
}

} // namespace

TEST(Trace, ChannelListNamesTheChannelsAndAllNamesEvery) {
    EXPECT_EQ(Bit(TraceChannel::cd) | Bit(TraceChannel::scsi), ParseTraceChannels("cd,scsi"));
    EXPECT_EQ(Bit(TraceChannel::ui), ParseTraceChannels("nosuch,,UI"));
    EXPECT_EQ(0x3FFu, ParseTraceChannels("all"));
    EXPECT_EQ(0u, ParseTraceChannels(""));
    EXPECT_EQ(0u, ParseTraceChannels("cdd"));
}

TEST(Trace, LinesOfEnabledChannelsGoToTheFileOthersDoNot) {
    txtest::TempDir dir;
    std::string file = dir / "trace.txt";
    SetEnvironmentVariableA("TRELVOX_TRACE", "cd");
    SetEnvironmentVariableA("TRELVOX_TRACE_FILE", file.c_str());
    trelvox::ResetTraceSettings();
    int evaluated = 0;
    TX_TRACE(cd, "sense %d/%02X", 3, 0x11);
    TX_TRACE(scsi, "not written %d", ++evaluated);
    std::string longText(3000, 'x');
    TX_TRACE(cd, "%s", longText.c_str());
    SetEnvironmentVariableA("TRELVOX_TRACE", nullptr);
    SetEnvironmentVariableA("TRELVOX_TRACE_FILE", nullptr);
    trelvox::ResetTraceSettings();
    TX_TRACE(cd, "after %d", ++evaluated);

    std::string text = txtest::ReadFile(file);
    EXPECT_EQ(0, evaluated) << "arguments of a disabled trace point are not evaluated";
    ASSERT_EQ(0u, text.find("trelvox:cd: sense 3/11\n")) << text.substr(0, 80);
    size_t second = text.find('\n') + 1;
    EXPECT_EQ(text.size() - 1, text.find('\n', second)) << "a cut line still ends the line";
    EXPECT_GT(text.size() - second, 1000u);
}
