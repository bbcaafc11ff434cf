// The settings dialogs driven as a user drives them (DialogDriver.h).
#include "DialogDriver.h"
#include "MP3ConvDest.h"
#include "OggConvDest.h"
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxUI.h"
#include "WavConvDest.h"

#include <memory>
#include <string>

namespace {

using txtest::Dialog;

// Opens dest's settings dialog; others null-terminated, or null. The result is
// ShowSettingsDialog's.
std::unique_ptr<Dialog> ShowSettings(IConvertDestination* dest, IConvertDestination** others = nullptr) {
    return std::make_unique<Dialog>(
        [dest, others] { return int(dest->ShowSettingsDialog(nullptr, others)); });
}

std::string SettingsText(IConvertDestination* dest) {
    char text[256] = {};
    dest->GetSettingsText(text, sizeof(text));
    return text;
}

class SettingsDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitTX(nullptr);
        PutProfileString("WAV", nullptr, nullptr);
        PutProfileString("MP3", nullptr, nullptr);
    }
};

int FindItemData(const Dialog& dialog, int id, LRESULT data) {
    for (LRESULT i = 0, n = dialog.Send(id, CB_GETCOUNT); i < n; ++i)
        if (dialog.Send(id, CB_GETITEMDATA, i) == data)
            return int(i);
    return -1;
}

} // namespace

TEST_F(SettingsDialogs, WaveListsEveryCodecAndStoresTheChoice) {
    CWavConvDest* dest = new CWavConvDest;
    CWavConvDest* other = new CWavConvDest;
    IConvertDestination* others[] = {other, nullptr};
    int adpcm = -1;
    {
        auto dialog = ShowSettings(dest, others);
        ASSERT_TRUE(dialog->window());
        printf("Wave dialog on screen and filled after %.1f ms (first in the process)\n",
               dialog->msToVisible);
        EXPECT_EQ(dialog->Text(0), "Wave Audio Settings");
        EXPECT_TRUE(IsWindowVisible(dialog->Item(IDC_SET_DEFAULT)));
        int pcm = FindItemData(*dialog, IDC_WAV_CODEC, WAVE_FORMAT_PCM);
        adpcm = FindItemData(*dialog, IDC_WAV_CODEC, WAVE_FORMAT_IMA_ADPCM);
        ASSERT_GE(pcm, 0);
        ASSERT_GE(adpcm, 0);
        std::string pcmName = dialog->Entries(IDC_WAV_CODEC)[pcm];
        EXPECT_NE(pcmName.find(" (default)"), std::string::npos) << pcmName;
        EXPECT_EQ(dialog->Send(IDC_WAV_CODEC, CB_GETCURSEL), pcm);
        std::vector<std::string> formats = dialog->Entries(IDC_WAV_FORMAT);
        ASSERT_GT(formats.size(), 1u);
        EXPECT_EQ(formats[0], "Automatic Detection (default)");
        EXPECT_EQ(dialog->Send(IDC_WAV_FORMAT, CB_GETCURSEL), 0);
        EXPECT_EQ(dialog->Text(IDC_WAV_EXTRA), "Unknown");

        // A PCM format fills the information fields.
        int cd = -1;
        for (size_t i = 1; i < formats.size(); ++i) {
            auto* wfx =
                reinterpret_cast<const WAVEFORMATEX*>(dialog->Send(IDC_WAV_FORMAT, CB_GETITEMDATA, i));
            if (wfx->nSamplesPerSec == 44100 && wfx->wBitsPerSample == 16 && wfx->nChannels == 2)
                cd = int(i);
        }
        ASSERT_GT(cd, 0);
        dialog->Select(IDC_WAV_FORMAT, cd);
        EXPECT_EQ(dialog->Text(IDC_WAV_CHANNELS), "2 - Stereo");
        EXPECT_EQ(dialog->Text(IDC_WAV_SAMPLE_RATE), "44100 Hz");
        EXPECT_EQ(dialog->Text(IDC_WAV_DATA_RATE), "172 KB / Sec.");
        EXPECT_EQ(dialog->Text(IDC_WAV_ALIGNMENT), "4 bytes");
        EXPECT_EQ(dialog->Text(IDC_WAV_SAMPLE_SIZE), "16 Bits");
        EXPECT_EQ(dialog->Text(IDC_WAV_EXTRA), "No extra information");

        // Another codec, left at automatic detection: its tag alone, here and in the array.
        dialog->Select(IDC_WAV_CODEC, adpcm);
        EXPECT_EQ(dialog->Send(IDC_WAV_FORMAT, CB_GETCURSEL), 0);
        EXPECT_EQ(dialog->Text(IDC_WAV_CHANNELS), "Unknown");
        EXPECT_EQ(dialog->Close(IDOK), 1);
    }
    for (CWavConvDest* d : {dest, other}) {
        EXPECT_EQ(d->Settings().formatTag, uint32_t(WAVE_FORMAT_IMA_ADPCM));
        EXPECT_EQ(d->Settings().size, 0u);
    }

    // One exact format; opened again, the dialog finds it byte for byte.
    std::string chosen;
    {
        auto dialog = ShowSettings(dest);
        ASSERT_TRUE(dialog->window());
        printf("Wave dialog on screen and filled after %.1f ms (warm, IMA ADPCM formats)\n",
               dialog->msToVisible);
        EXPECT_EQ(dialog->Send(IDC_WAV_CODEC, CB_GETCURSEL), adpcm);
        std::vector<std::string> formats = dialog->Entries(IDC_WAV_FORMAT);
        ASSERT_GT(formats.size(), 2u);
        dialog->Select(IDC_WAV_FORMAT, 2);
        chosen = formats[2];
        EXPECT_NE(dialog->Text(IDC_WAV_EXTRA), "No extra information"); // IMA ADPCM has 2 bytes
        EXPECT_EQ(dialog->Close(IDOK), 1);
    }
    ASSERT_NE(dest->Settings().size, 0u);
    EXPECT_EQ(dest->Settings().Format()->wFormatTag, WAVE_FORMAT_IMA_ADPCM);
    EXPECT_EQ(other->Settings().size, 0u); // no array this time
    {
        auto dialog = ShowSettings(dest);
        ASSERT_TRUE(dialog->window());
        LRESULT selected = dialog->Send(IDC_WAV_FORMAT, CB_GETCURSEL);
        ASSERT_GT(selected, 0);
        EXPECT_EQ(dialog->Entries(IDC_WAV_FORMAT)[selected], chosen);
        // Cancel after a change leaves the record as it was.
        dialog->Select(IDC_WAV_CODEC, FindItemData(*dialog, IDC_WAV_CODEC, WAVE_FORMAT_PCM));
        EXPECT_EQ(dialog->Close(IDCANCEL), 0);
    }
    EXPECT_EQ(dest->Settings().formatTag, uint32_t(WAVE_FORMAT_IMA_ADPCM));
    EXPECT_NE(dest->Settings().size, 0u);
    dest->Release();
    other->Release();
}

TEST_F(SettingsDialogs, MP3ScalesFollowTheMode) {
    CMP3ConvDest* dest = new CMP3ConvDest;
    MP3SETTINGS& record = dest->Settings();
    record.mode = MP3SETTINGS::kCBR;
    record.bitrate = 130;
    record.sampleRate = 44100;
    record.crc = 1;
    record.quality = 3;
    record.maxBitrate = 256;
    {
        auto dialog = ShowSettings(dest);
        ASSERT_TRUE(dialog->window());
        printf("MP3 dialog on screen and filled after %.1f ms\n", dialog->msToVisible);
        EXPECT_EQ(dialog->Text(0), "MP3 Encoding Settings");
        EXPECT_EQ(dialog->Entries(IDC_MP3_MODE),
                  (std::vector<std::string>{"CBR - Constant Bitrate ", "VBR - Variable Bitrate",
                                            "ABR - Average Bitrate [recommended] ",
                                            "Fast VBR - Variable Bitrate [Fast Mode]"}));
        EXPECT_EQ(dialog->Send(IDC_MP3_MODE, CB_GETCURSEL), 0);
        EXPECT_EQ(dialog->Text(IDC_MP3_VALUE_LABEL), "Bit rate:");
        // 130 kbps is not on the scale: the first value not below it.
        EXPECT_EQ(dialog->Text(IDC_MP3_NUMBER), "144");
        EXPECT_EQ(dialog->Send(IDC_MP3_SLIDER, TXSM_GETPOS), 12);
        EXPECT_EQ(dialog->Text(IDC_MP3_LOW_END), "8 kBits / sec.");
        EXPECT_EQ(dialog->Text(IDC_MP3_HIGH_END), "320 kbps");
        EXPECT_EQ(dialog->Entries(IDC_MP3_DOWNSAMPLING).size(), 10u);
        EXPECT_EQ(dialog->Text(IDC_MP3_DOWNSAMPLING), "44,100 Hz");
        EXPECT_TRUE(dialog->Checked(IDC_MP3_CRC));
        EXPECT_TRUE(dialog->Checked(IDC_MP3_JOINT_STEREO));
        EXPECT_FALSE(dialog->Checked(IDC_MP3_PRIVATE));

        dialog->Select(IDC_MP3_MODE, MP3SETTINGS::kVBR);
        EXPECT_EQ(dialog->Text(IDC_MP3_VALUE_LABEL), "VBR Quality:");
        EXPECT_EQ(dialog->Text(IDC_MP3_LOW_END), "10%");
        EXPECT_EQ(dialog->Text(IDC_MP3_HIGH_END), "100%");
        EXPECT_EQ(dialog->Text(IDC_MP3_NUMBER), "70");
        EXPECT_EQ(dialog->Entries(IDC_MP3_DOWNSAMPLING),
                  (std::vector<std::string>{"[disable]", "48,000 Hz", "44,100 Hz", "32,000 Hz"}));
        EXPECT_EQ(dialog->Text(IDC_MP3_DOWNSAMPLING), "44,100 Hz");

        // A click at the slider's right end: the top of the scale. The pointer goes there
        // too, as the display reports its own moves while the slider holds the capture.
        RECT client;
        GetClientRect(dialog->Item(IDC_MP3_SLIDER), &client);
        POINT end = {client.right - 1, 8};
        ClientToScreen(dialog->Item(IDC_MP3_SLIDER), &end);
        SetCursorPos(end.x, end.y);
        dialog->Send(IDC_MP3_SLIDER, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right - 1, 8));
        dialog->Send(IDC_MP3_SLIDER, WM_LBUTTONUP, 0, MAKELPARAM(client.right - 1, 8));
        EXPECT_EQ(dialog->Text(IDC_MP3_NUMBER), "100");
        dialog->Click(IDC_MP3_PRIVATE);
        EXPECT_EQ(dialog->Close(IDOK), 1);
    }
    EXPECT_EQ(record.mode, MP3SETTINGS::kVBR);
    EXPECT_EQ(record.vbrQuality, 100);
    EXPECT_EQ(record.bitrate, 130); // the bit rate has no slider in VBR
    EXPECT_EQ(record.privateBit, 1);
    EXPECT_EQ(record.crc, 1);
    EXPECT_EQ(record.sampleRate, 44100);
    EXPECT_EQ(record.quality, 3); // no control
    EXPECT_EQ(record.maxBitrate, 256);

    // Cancel restores all twelve words; "Set &Default" stores the shown settings at once.
    MP3SETTINGS before = record;
    {
        auto dialog = ShowSettings(dest);
        ASSERT_TRUE(dialog->window());
        dialog->Select(IDC_MP3_MODE, MP3SETTINGS::kCBR);
        dialog->Select(IDC_MP3_DOWNSAMPLING, 0);
        dialog->Click(IDC_SET_DEFAULT);
        EXPECT_TRUE(IsWindowVisible(dialog->window()));
        EXPECT_EQ(dialog->Close(IDCANCEL), 0);
    }
    EXPECT_EQ(memcmp(&record, &before, sizeof(record)), 0) << SettingsText(dest);
    FormatRecord row = {};
    ASSERT_EQ(ConvGetFormatByName(&row, "MP3"), S_OK);
    char defaults[64] = {};
    EXPECT_EQ(ConvDefOutputSettingsString(defaults, sizeof(defaults), &row), S_OK);
    EXPECT_STREQ(defaults, "CBR 144 kbps"); // what the slider showed
    PutProfileString("MP3", nullptr, nullptr);
    dest->Release();
}

TEST_F(SettingsDialogs, OggTrackbarsSnapAndEnable) {
    COggConvDest* dest = new COggConvDest;
    COggConvDest* other = new COggConvDest;
    OGGSETTINGS& record = dest->Settings();
    record.qualityMode = 0;
    record.avgBitrate = 100; // not on the table
    record.useMinBitrate = 1;
    record.minBitrate = 64;
    record.quality = 45;
    {
        auto dialog = ShowSettings(dest);
        ASSERT_TRUE(dialog->window());
        printf("Ogg Vorbis dialog on screen and filled after %.1f ms\n", dialog->msToVisible);
        EXPECT_EQ(dialog->Text(0), "Ogg Vorbis Audio Settings");
        EXPECT_TRUE(dialog->Checked(IDC_OGG_AVERAGE_MODE));
        EXPECT_FALSE(dialog->Checked(IDC_OGG_QUALITY_MODE));
        EXPECT_EQ(dialog->Send(IDC_OGG_AVERAGE, TBM_GETPOS), 2);
        EXPECT_EQ(dialog->Text(IDC_OGG_AVERAGE_VALUE), "96 kbps");
        EXPECT_EQ(dialog->Send(IDC_OGG_QUALITY, TBM_GETPOS), 4);
        const struct {
            int id;
            bool enabled;
        } states[] = {{IDC_OGG_QUALITY, false},      {IDC_OGG_QUALITY_LABEL, false}, {IDC_OGG_AVERAGE, true},
                      {IDC_OGG_AVERAGE_LABEL, true}, {IDC_OGG_USE_MIN, true},        {IDC_OGG_USE_MAX, true},
                      {IDC_OGG_MIN, true},           {IDC_OGG_MIN_LABEL, true},      {IDC_OGG_MAX, false},
                      {IDC_OGG_MAX_LABEL, false}};
        for (const auto& state : states)
            EXPECT_EQ(dialog->Enabled(state.id), state.enabled) << state.id;
        dialog->Click(IDC_OGG_USE_MAX);
        EXPECT_TRUE(dialog->Enabled(IDC_OGG_MAX));
        EXPECT_TRUE(dialog->Enabled(IDC_OGG_MAX_LABEL));
        dialog->Track(IDC_OGG_MAX, 5);
        EXPECT_EQ(dialog->Text(IDC_OGG_MAX_VALUE), "192 kbps");
        EXPECT_EQ(dialog->Close(IDOK), 1);
    }
    EXPECT_EQ(record.qualityMode, 0);
    EXPECT_EQ(record.avgBitrate, 96);
    EXPECT_EQ(record.useMaxBitrate, 1);
    EXPECT_EQ(record.maxBitrate, 192);
    EXPECT_EQ(record.useMinBitrate, 1);
    EXPECT_EQ(record.minBitrate, 64);
    EXPECT_EQ(record.quality, 45); // not read in average mode

    // Quality mode: 45 shows as position 4 and comes back as 40, here and in the array.
    IConvertDestination* others[] = {other, nullptr};
    {
        auto dialog = ShowSettings(dest, others);
        ASSERT_TRUE(dialog->window());
        dialog->Click(IDC_OGG_QUALITY_MODE);
        EXPECT_FALSE(dialog->Checked(IDC_OGG_AVERAGE_MODE));
        for (int id : {IDC_OGG_QUALITY, IDC_OGG_QUALITY_LABEL})
            EXPECT_TRUE(dialog->Enabled(id)) << id;
        for (int id : {IDC_OGG_AVERAGE, IDC_OGG_USE_MIN, IDC_OGG_USE_MAX, IDC_OGG_MIN, IDC_OGG_MAX})
            EXPECT_FALSE(dialog->Enabled(id)) << id;
        EXPECT_EQ(dialog->Close(IDOK), 1);
    }
    EXPECT_EQ(record.qualityMode, 1);
    EXPECT_EQ(record.quality, 40);
    EXPECT_EQ(memcmp(&other->Settings(), &record, sizeof(record)), 0) << SettingsText(other);
    dest->Release();
    other->Release();
}

TEST_F(SettingsDialogs, DefaultsDialogSavesOnlyAfterOK) {
    FormatRecord mp3 = {};
    ASSERT_EQ(ConvGetFormatByName(&mp3, "MP3"), S_OK);
    auto defaults = [&] {
        char text[64] = {};
        ConvDefOutputSettingsString(text, sizeof(text), &mp3);
        return std::string(text);
    };
    ASSERT_EQ(defaults(), "ABR 128 kbps");
    for (int button : {IDCANCEL, IDOK}) {
        Dialog dialog([&] { return int(ConvDefOutputSettings(nullptr, &mp3)); });
        ASSERT_TRUE(dialog.window());
        EXPECT_EQ(dialog.Text(0), "MP3 Encoding Settings (default)");
        EXPECT_FALSE(IsWindowVisible(dialog.Item(IDC_SET_DEFAULT)));
        dialog.Select(IDC_MP3_MODE, MP3SETTINGS::kCBR);
        int result = dialog.Close(button);
        EXPECT_EQ(result, button == IDOK ? S_OK : int(E_ABORT));
        EXPECT_EQ(defaults(), button == IDOK ? "CBR 128 kbps" : "ABR 128 kbps");
    }
    PutProfileString("MP3", nullptr, nullptr);

    // Formats without a defaults dialog show nothing.
    for (auto expected : {std::pair<const char*, HRESULT>{"Ogg Vorbis", S_FALSE},
                          {"AIFF", S_FALSE},
                          {"Windows Media", E_NOTIMPL}}) {
        FormatRecord row = {};
        ASSERT_EQ(ConvGetFormatByName(&row, expected.first), S_OK) << expected.first;
        EXPECT_EQ(ConvDefOutputSettings(nullptr, &row), expected.second) << expected.first;
    }
}
