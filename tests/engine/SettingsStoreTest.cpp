#include "TestSupport.h"
#include "Trelvox.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Each test works in a section of its own and removes it afterwards.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        section = std::string("TxTest") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        PutProfileString(section.c_str(), nullptr, nullptr);
    }
    void TearDown() override { PutProfileString(section.c_str(), nullptr, nullptr); }

    const char* S() const { return section.c_str(); }
    std::string section;
};

// Whether the section is under the key the front end and the other tools look at.
bool SectionExists(const char* section) {
    HKEY key = nullptr;
    LONG result =
        RegOpenKeyExA(HKEY_CURRENT_USER, (std::string("Software\\Belvonix\\Harvane\\") + section).c_str(), 0,
                      KEY_READ, &key);
    if (key)
        RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

} // namespace

// In a process of its own, where InitTX has not run, whatever this one did before.
TEST(SettingsBeforeInit, EveryAccessFailsAndChangesNothing) {
    EXPECT_EXIT(
        {
            int value = 5;
            bool read = GetProfileIntA("Settings", "SilenceDetector", &value);
            bool written = PutProfileInt("Settings", "SilenceDetector", 9);
            HKEY key = GetSectionKey("Settings");
            fprintf(stderr, "read %d, value %d, written %d, key %p\n", read, value, written, (void*)key);
            exit(!read && value == 5 && !written && !key ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Every setting of the other tests goes through here too; these are the edges.
TEST_F(SettingsStore, MissingValuesKeepTheDefaultsAndSectionsComeAndGo) {
    int value = 42;
    EXPECT_FALSE(GetProfileIntA(S(), "Number", &value));
    EXPECT_EQ(value, 42);
    unsigned char read[16] = {7};
    uint32_t size = sizeof(read);
    EXPECT_FALSE(GetProfileBinary(S(), "Blob", read, &size));
    EXPECT_EQ(size, 16u);
    EXPECT_TRUE(PutProfileBinary(S(), "Blob", "\0\1\2\xFE\xFF", 5));
    EXPECT_TRUE(GetProfileBinary(S(), "Blob", read, &size));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(read), size), std::string("\0\1\2\xFE\xFF", 5));
    size = 2; // smaller than the value: refused, not overrun
    EXPECT_FALSE(GetProfileBinary(S(), "Blob", read, &size));
    EXPECT_EQ(read[2], 2);

    // Integers read any type of at most four bytes.
    EXPECT_TRUE(PutProfileString(S(), "Short", "1"));
    value = 0x7F7F7F7F;
    EXPECT_TRUE(GetProfileIntA(S(), "Short", &value));
    EXPECT_EQ(value & 0xFFFF, '1');
    EXPECT_TRUE(PutProfileString(S(), "Long", "12345678"));
    value = 3;
    EXPECT_FALSE(GetProfileIntA(S(), "Long", &value));
    EXPECT_EQ(value, 3);

    char text[1024] = "unchanged";
    EXPECT_TRUE(PutProfileString(S(), "Long", nullptr));
    EXPECT_FALSE(GetProfileStringA(S(), "Long", text));
    EXPECT_STREQ(text, "unchanged");
    EXPECT_TRUE(GetProfileStringA(S(), "Short", text));
    EXPECT_TRUE(SectionExists(S()));
    EXPECT_TRUE(PutProfileString(S(), nullptr, "anything"));
    EXPECT_FALSE(SectionExists(S()));
    // The root stays open: the section comes back on the next write.
    EXPECT_TRUE(PutProfileInt(S(), "Again", 1));
    EXPECT_TRUE(SectionExists(S()));
}

TEST_F(SettingsStore, StringsUpTo1023CharactersAreRead) {
    std::string longest(1023, 'x');
    EXPECT_TRUE(PutProfileString(S(), "Longest", longest.c_str()));
    std::vector<char> text(2048, '?');
    EXPECT_TRUE(GetProfileStringA(S(), "Longest", text.data()));
    EXPECT_EQ(std::string(text.data()), longest);
    EXPECT_TRUE(PutProfileString(S(), "TooLong", std::string(1024, 'y').c_str()));
    text.assign(2048, '?');
    EXPECT_FALSE(GetProfileStringA(S(), "TooLong", text.data()));
    EXPECT_EQ(text[0], '?');

    // A value need not end in a terminator (Wine adds one to REG_SZ values, Windows does not;
    // binary values show it here): 1024 characters without one are too long as well, nothing
    // goes past the caller's 1024 bytes, and a shorter value is terminated.
    EXPECT_TRUE(PutProfileBinary(S(), "Unterminated", std::string(1024, 'z').data(), 1024));
    EXPECT_TRUE(PutProfileBinary(S(), "Short", "abc", 3));
    text.assign(2048, '?');
    EXPECT_FALSE(GetProfileStringA(S(), "Unterminated", text.data()));
    EXPECT_EQ(text[0], '?');
    EXPECT_EQ(text[1024], '?');
    EXPECT_TRUE(GetProfileStringA(S(), "Short", text.data()));
    EXPECT_EQ(std::string(text.data()), "abc");
}

TEST(TempPath, IsTheSystemDirectoryUnlessConfigured) {
    InitTX(nullptr);
    char saved[1024] = {};
    bool hadSetting = GetProfileStringA("Settings", "TempPath", saved);
    PutProfileString("Settings", "TempPath", nullptr);

    char expected[MAX_PATH];
    GetTempPathA(MAX_PATH, expected);
    char path[MAX_PATH] = {};
    EXPECT_EQ(TXTempPath(path), path);
    EXPECT_STREQ(path, expected);

    EXPECT_TRUE(PutProfileString("Settings", "TempPath", "D:\\scratch\\"));
    EXPECT_STREQ(TXTempPath(path), "D:\\scratch\\");

    // A configured path longer than the buffer is cut to 259 characters.
    EXPECT_TRUE(PutProfileString("Settings", "TempPath", ("C:\\" + std::string(400, 'a')).c_str()));
    char guarded[MAX_PATH + 8];
    memset(guarded, '#', sizeof(guarded));
    TXTempPath(guarded);
    EXPECT_EQ(strlen(guarded), 259u);
    EXPECT_EQ(guarded[MAX_PATH], '#');

    PutProfileString("Settings", "TempPath", hadSetting ? saved : nullptr);
}
