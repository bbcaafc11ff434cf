// TrelvoxWM.dll through the public Windows Media Format interfaces only, as the library and
// any other caller use them: codec list, .prx round trip, a written file that Wine's own
// reader decodes, and header edits that leave the audio alone. With WMRUNTIME_KEEP set to a
// directory, the written and edited files are left there for check_wmruntime.py.
#include "TestSupport.h"

#include "ComPtr.h"
#include "WmSdkExtras.h"

#include <wmsdk.h>

#include <math.h>
#include <stdlib.h>

#include <string>
#include <vector>

using trelvox::ComPtr;

namespace {

constexpr QWORD kSecond = 10000000; // 100-ns units

template <class Fn> Fn Entry(const char* module, const char* name) {
    HMODULE handle = LoadLibraryA(module);
    return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name))) : nullptr;
}

ComPtr<IWMProfileManager> NewProfileManager() {
    auto create = Entry<HRESULT(WINAPI*)(IWMProfileManager**)>("TrelvoxWM.dll", "WMCreateProfileManager");
    ComPtr<IWMProfileManager> manager;
    if (create) {
        EXPECT_EQ(create(manager.put()), S_OK);
    }
    return manager;
}

ComPtr<IWMWriter> NewWriter() {
    auto create = Entry<HRESULT(WINAPI*)(IUnknown*, IWMWriter**)>("TrelvoxWM.dll", "WMCreateWriter");
    ComPtr<IWMWriter> writer;
    if (create) {
        EXPECT_EQ(create(nullptr, writer.put()), S_OK);
    }
    return writer;
}

ComPtr<IWMMetadataEditor> NewEditor() {
    auto create = Entry<HRESULT(WINAPI*)(IWMMetadataEditor**)>("TrelvoxWM.dll", "WMCreateEditor");
    ComPtr<IWMMetadataEditor> editor;
    if (create) {
        EXPECT_EQ(create(editor.put()), S_OK);
    }
    return editor;
}

std::vector<BYTE> MediaTypeBytes(IWMMediaProps* props) {
    std::vector<BYTE> bytes;
    DWORD size = 0;
    if (!props || FAILED(props->GetMediaType(nullptr, &size)))
        return bytes;
    bytes.resize(size);
    EXPECT_EQ(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(bytes.data()), &size), S_OK);
    return bytes;
}

// A stream configuration's media type, through its IWMMediaProps.
std::vector<BYTE> MediaTypeBytes(IWMStreamConfig* config) {
    ComPtr<IWMMediaProps> props;
    config->QueryInterface(__uuidof(IWMMediaProps), props.putVoid());
    return MediaTypeBytes(props.get());
}

const WAVEFORMATEX* Wave(const std::vector<BYTE>& type) {
    if (type.size() < sizeof(WM_MEDIA_TYPE) + 18)
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(
        reinterpret_cast<const WM_MEDIA_TYPE*>(type.data())->pbFormat);
}

void SetEnumeration(IWMCodecInfo3* info, DWORD codec, bool vbr, DWORD passes) {
    BOOL flag = vbr;
    EXPECT_EQ(info->SetCodecEnumerationSetting(wmsdk::kMediaTypeAudio, codec, wmsdk::kVbrEnabled,
                                               WMT_TYPE_BOOL, reinterpret_cast<BYTE*>(&flag), sizeof flag),
              S_OK);
    EXPECT_EQ(info->SetCodecEnumerationSetting(wmsdk::kMediaTypeAudio, codec, wmsdk::kNumPasses,
                                               WMT_TYPE_DWORD, reinterpret_cast<BYTE*>(&passes),
                                               sizeof passes),
              S_OK);
}

// A profile built as the library builds one: an empty 9.0 profile, a new audio stream given
// the bit rate and media type of a listed format, its VBR properties and language.
ComPtr<IWMProfile> BuildProfile(IWMProfileManager* manager, DWORD format, DWORD passes) {
    ComPtr<IWMCodecInfo3> info;
    ComPtr<IWMProfile> profile;
    EXPECT_EQ(manager->QueryInterface(__uuidof(IWMCodecInfo3), info.putVoid()), S_OK);
    EXPECT_EQ(manager->CreateEmptyProfile(WMT_VER_9_0, profile.put()), S_OK);
    if (!info || !profile)
        return {};
    EXPECT_EQ(profile->SetName(L"Harvane Custom Profile"), S_OK);
    SetEnumeration(info.get(), 0, false, passes);
    ComPtr<IWMStreamConfig> listed, stream;
    EXPECT_EQ(info->GetCodecFormat(wmsdk::kMediaTypeAudio, 0, format, listed.put()), S_OK);
    EXPECT_EQ(profile->CreateNewStream(wmsdk::kMediaTypeAudio, stream.put()), S_OK);
    if (!listed || !stream)
        return {};
    DWORD bitrate = 0;
    EXPECT_EQ(listed->GetBitrate(&bitrate), S_OK);
    EXPECT_EQ(stream->SetBitrate(bitrate), S_OK);
    std::vector<BYTE> type = MediaTypeBytes(listed.get());
    ComPtr<IWMMediaProps> props;
    EXPECT_EQ(stream->QueryInterface(__uuidof(IWMMediaProps), props.putVoid()), S_OK);
    EXPECT_EQ(props->SetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(type.data())), S_OK);
    ComPtr<IWMPropertyVault> vault;
    EXPECT_EQ(stream->QueryInterface(__uuidof(IWMPropertyVault), vault.putVoid()), S_OK);
    BOOL vbr = FALSE;
    DWORD rmax = 0, bmax = 0;
    vault->SetProperty(wmsdk::kVbrEnabled, WMT_TYPE_BOOL, reinterpret_cast<BYTE*>(&vbr), sizeof vbr);
    vault->SetProperty(wmsdk::kVbrBitrateMax, WMT_TYPE_DWORD, reinterpret_cast<BYTE*>(&rmax), sizeof rmax);
    vault->SetProperty(wmsdk::kVbrBufferWindowMax, WMT_TYPE_DWORD, reinterpret_cast<BYTE*>(&bmax),
                       sizeof bmax);
    ComPtr<IWMStreamConfig3> language;
    EXPECT_EQ(stream->QueryInterface(__uuidof(IWMStreamConfig3), language.putVoid()), S_OK);
    WCHAR enUs[] = L"en-us";
    EXPECT_EQ(language->SetLanguage(enUs), S_OK);
    EXPECT_EQ(profile->AddStream(stream.get()), S_OK);
    return profile;
}

std::wstring SaveText(IWMProfileManager* manager, IWMProfile* profile) {
    DWORD length = 0;
    EXPECT_EQ(manager->SaveProfile(profile, nullptr, &length), S_OK);
    std::wstring text(length, L'\0');
    EXPECT_EQ(manager->SaveProfile(profile, &text[0], &length), S_OK);
    text.resize(length > 0 ? length - 1 : 0);
    return text;
}

DWORD Property(IUnknown* stream, const WCHAR* name) {
    ComPtr<IWMPropertyVault> vault;
    DWORD value = 0xDEADBEEF, size = sizeof value;
    WMT_ATTR_DATATYPE type;
    if (SUCCEEDED(stream->QueryInterface(__uuidof(IWMPropertyVault), vault.putVoid())))
        vault->GetPropertyByName(name, &type, reinterpret_cast<BYTE*>(&value), &size);
    return value;
}

std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0],
                                                        static_cast<int>(wide.size()))) -
                1);
    return wide;
}

// frames of a 440 Hz tone, 16-bit, in channels channels.
std::vector<int16_t> Tone(DWORD rate, WORD channels, DWORD frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * channels);
    for (DWORD i = 0; i < frames; ++i)
        for (WORD c = 0; c < channels; ++c)
            pcm[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(8000 * sin(6.2831853 * 440 * i / rate));
    return pcm;
}

HRESULT SetString(IWMHeaderInfo* info, const WCHAR* name, const std::wstring& value) {
    return info->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<WORD>((value.size() + 1) * 2));
}

std::wstring GetString(IWMHeaderInfo* info, const WCHAR* name) {
    WORD stream = 0, length = 0;
    WMT_ATTR_DATATYPE type;
    if (FAILED(info->GetAttributeByName(&stream, name, &type, nullptr, &length)) || type != WMT_TYPE_STRING)
        return L"<missing>";
    std::vector<WCHAR> value(length / 2 + 1);
    EXPECT_EQ(info->GetAttributeByName(&stream, name, &type, reinterpret_cast<BYTE*>(value.data()), &length),
              S_OK);
    return value.data();
}

// Where the files for the native checks go: WMRUNTIME_KEEP, else a temporary directory.
std::string KeepPath(const txtest::TempDir& dir, const char* name) {
    const char* keep = getenv("WMRUNTIME_KEEP");
    return keep && *keep ? std::string(keep) + "\\" + name : dir / name;
}

// 3 s of 22.05 kHz mono written through the default format (128 kbps, 44.1 kHz, stereo) with
// two passes, the way the library drives a writer, and "Title", "WM/AlbumTitle" and
// "WM/TrackNumber" set on it.
constexpr DWORD kSourceRate = 22050;
constexpr DWORD kSourceFrames = 3 * kSourceRate;

void WriteTestFile(const std::string& path) {
    ComPtr<IWMProfileManager> manager = NewProfileManager();
    ComPtr<IWMWriter> writer = NewWriter();
    ASSERT_TRUE(manager && writer);
    ComPtr<IWMProfile> profile = BuildProfile(manager.get(), 29, 2);
    ASSERT_TRUE(profile);
    ASSERT_EQ(writer->SetProfile(profile.get()), S_OK);
    DWORD inputs = 0;
    ASSERT_EQ(writer->GetInputCount(&inputs), S_OK);
    ASSERT_EQ(inputs, 1u);
    ComPtr<IWMInputMediaProps> input;
    ASSERT_EQ(writer->GetInputProps(0, input.put()), S_OK);
    GUID major;
    ASSERT_EQ(input->GetType(&major), S_OK);
    EXPECT_TRUE(IsEqualGUID(major, wmsdk::kMediaTypeAudio));
    WAVEFORMATEX pcm = txtest::Pcm(1, kSourceRate, 16);
    WM_MEDIA_TYPE type = {wmsdk::kMediaTypeAudio,
                          wmsdk::AudioSubtype(WAVE_FORMAT_PCM),
                          TRUE,
                          FALSE,
                          2,
                          wmsdk::kFormatWaveFormatEx,
                          nullptr,
                          18,
                          reinterpret_cast<BYTE*>(&pcm)};
    ASSERT_EQ(input->SetMediaType(&type), S_OK);
    ASSERT_EQ(writer->SetInputProps(0, input.get()), S_OK);
    ASSERT_EQ(writer->SetOutputFilename(Widen(path).c_str()), S_OK);

    ComPtr<IWMHeaderInfo> header;
    ASSERT_EQ(writer->QueryInterface(__uuidof(IWMHeaderInfo), header.putVoid()), S_OK);
    EXPECT_EQ(SetString(header.get(), L"Title", L"Written Title"), S_OK);
    EXPECT_EQ(SetString(header.get(), L"WM/AlbumTitle", L"Written Album"), S_OK);
    DWORD track = 7;
    EXPECT_EQ(header->SetAttribute(0, L"WM/TrackNumber", WMT_TYPE_DWORD, reinterpret_cast<BYTE*>(&track), 4),
              S_OK);

    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ComPtr<IWMWriterPreprocess> preprocess;
    ASSERT_EQ(writer->QueryInterface(__uuidof(IWMWriterPreprocess), preprocess.putVoid()), S_OK);
    DWORD passes = 0;
    ASSERT_EQ(preprocess->GetMaxPreprocessingPasses(0, 0, &passes), S_OK);
    ASSERT_EQ(passes, 1u);
    ASSERT_EQ(preprocess->SetNumPreprocessingPasses(0, 0, passes), S_OK);

    std::vector<int16_t> tone = Tone(kSourceRate, 1, kSourceFrames);
    // Blocks of 1000 frames in the pass, of one second in the replay, as the library sends them.
    auto send = [&](bool preprocessing, DWORD block) {
        for (DWORD at = 0; at < kSourceFrames; at += block) {
            DWORD frames = std::min(block, kSourceFrames - at);
            ComPtr<INSSBuffer> sample;
            ASSERT_EQ(writer->AllocateSample(frames * 2, sample.put()), S_OK);
            BYTE* bytes = nullptr;
            DWORD length = 0;
            ASSERT_EQ(sample->GetBufferAndLength(&bytes, &length), S_OK);
            ASSERT_EQ(length, frames * 2);
            memcpy(bytes, tone.data() + at, length);
            QWORD time = static_cast<QWORD>(at) * kSecond / kSourceRate;
            if (preprocessing)
                ASSERT_EQ(preprocess->PreprocessSample(0, time, 0, sample.get()), S_OK);
            else
                ASSERT_EQ(writer->WriteSample(0, time, 0, sample.get()), S_OK);
        }
    };
    ASSERT_EQ(preprocess->BeginPreprocessingPass(0, 0), S_OK);
    send(true, 1000);
    ComPtr<INSSBuffer> early;
    ASSERT_EQ(writer->AllocateSample(2, early.put()), S_OK);
    EXPECT_EQ(writer->WriteSample(0, 0, 0, early.get()), NS_E_INVALID_REQUEST) << "before the pass ended";
    ASSERT_EQ(preprocess->EndPreprocessingPass(0, 0), S_OK);
    send(false, kSourceRate);
    ASSERT_EQ(writer->EndWriting(), S_OK);
}

std::string HeaderSizeOf(const std::string& bytes) {
    uint64_t size = 0;
    for (int i = 7; i >= 0 && bytes.size() >= 24; --i)
        size = (size << 8) | static_cast<uint8_t>(bytes[16 + i]);
    return std::to_string(size);
}

// The bytes after the header object: data and index objects.
std::string AfterHeader(const std::string& bytes) {
    size_t size = static_cast<size_t>(std::stoull(HeaderSizeOf(bytes)));
    return size <= bytes.size() ? bytes.substr(size) : std::string();
}

} // namespace

TEST(WmRuntimeCodecs, ListsConstantBitRateFormatsWithTheDefaultAt29) {
    ComPtr<IWMProfileManager> manager = NewProfileManager();
    ASSERT_TRUE(manager) << "TrelvoxWM.dll is not beside the test";
    txtest::CheckInterfaces(manager.get(),
                            {__uuidof(IWMProfileManager), __uuidof(IWMProfileManager2),
                             __uuidof(IWMCodecInfo), __uuidof(IWMCodecInfo2), __uuidof(IWMCodecInfo3)},
                            {__uuidof(IWMWriter), __uuidof(IWMHeaderInfo)});
    ComPtr<IWMCodecInfo3> info;
    ASSERT_EQ(manager->QueryInterface(__uuidof(IWMCodecInfo3), info.putVoid()), S_OK);
    DWORD codecs = 0, formats = 0;
    EXPECT_EQ(info->GetCodecInfoCount(wmsdk::kMediaTypeAudio, &codecs), S_OK);
    EXPECT_EQ(codecs, 2u);
    EXPECT_EQ(info->GetCodecInfoCount(wmsdk::kMediaTypeVideo, &codecs), S_OK);
    EXPECT_EQ(codecs, 0u);
    WCHAR name[128];
    DWORD length = 128;
    EXPECT_EQ(info->GetCodecName(wmsdk::kMediaTypeAudio, 0, name, &length), S_OK);
    EXPECT_STREQ(name, L"Windows Media Audio 2 (libavcodec wmav2)");

    for (DWORD passes : {1u, 2u}) {
        SCOPED_TRACE(passes);
        SetEnumeration(info.get(), 0, false, passes);
        ASSERT_EQ(info->GetCodecFormatCount(wmsdk::kMediaTypeAudio, 0, &formats), S_OK);
        ASSERT_GT(formats, 29u);
        ComPtr<IWMStreamConfig> config;
        WCHAR description[128];
        length = 4;
        EXPECT_EQ(info->GetCodecFormatDesc(wmsdk::kMediaTypeAudio, 0, 29, nullptr, description, &length),
                  ASF_E_BUFFERTOOSMALL);
        length = 128;
        ASSERT_EQ(info->GetCodecFormatDesc(wmsdk::kMediaTypeAudio, 0, 29, config.put(), description, &length),
                  S_OK);
        EXPECT_STREQ(description, L"128 kbps, 44 kHz, stereo CBR");
        std::vector<BYTE> type = MediaTypeBytes(config.get());
        const WAVEFORMATEX* wave = Wave(type);
        ASSERT_TRUE(wave);
        EXPECT_EQ(wave->wFormatTag, 0x0161);
        EXPECT_EQ(wave->nSamplesPerSec, 44100u);
        EXPECT_EQ(wave->nChannels, 2);
        EXPECT_EQ(wave->nAvgBytesPerSec, 16000u);
        EXPECT_EQ(Property(config.get(), wmsdk::kNumPasses), passes);
        EXPECT_EQ(Property(config.get(), wmsdk::kVbrEnabled), 0u);
    }

    // Variable bit rates: nothing listed, and a clear refusal.
    SetEnumeration(info.get(), 0, true, 1);
    EXPECT_EQ(info->GetCodecFormatCount(wmsdk::kMediaTypeAudio, 0, &formats), S_OK);
    EXPECT_EQ(formats, 0u);
    ComPtr<IWMStreamConfig> config;
    EXPECT_EQ(info->GetCodecFormat(wmsdk::kMediaTypeAudio, 0, 29, config.put()), NS_E_VBRMODE_MISMATCH);
    DWORD three = 3;
    EXPECT_EQ(info->SetCodecEnumerationSetting(wmsdk::kMediaTypeAudio, 0, wmsdk::kNumPasses, WMT_TYPE_DWORD,
                                               reinterpret_cast<BYTE*>(&three), sizeof three),
              NS_E_INVALID_NUM_PASSES);
}

TEST(WmRuntimeProfiles, PrxTextRoundTrips) {
    ComPtr<IWMProfileManager> manager = NewProfileManager();
    ASSERT_TRUE(manager);
    ComPtr<IWMProfile> built = BuildProfile(manager.get(), 29, 2);
    ASSERT_TRUE(built);
    std::wstring text = SaveText(manager.get(), built.get());
    ComPtr<IWMProfile> loaded;
    ASSERT_EQ(manager->LoadProfileByData(text.c_str(), loaded.put()), S_OK)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(SaveText(manager.get(), loaded.get()), text);

    ComPtr<IWMStreamConfig> original, stream;
    ASSERT_EQ(built->GetStream(0, original.put()), S_OK);
    ASSERT_EQ(loaded->GetStream(0, stream.put()), S_OK);
    EXPECT_EQ(MediaTypeBytes(stream.get()).size(), MediaTypeBytes(original.get()).size());
    const WAVEFORMATEX* wave = Wave(MediaTypeBytes(stream.get()));
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->cbSize, Wave(MediaTypeBytes(original.get()))->cbSize);
    // Built under two passes, it still asks a writer for a preprocessing pass.
    ComPtr<IWMWriter> twoPass = NewWriter();
    DWORD passes = 0;
    ASSERT_TRUE(twoPass);
    ASSERT_EQ(twoPass->SetProfile(loaded.get()), S_OK);
    ComPtr<IWMWriterPreprocess> preprocess;
    ASSERT_EQ(twoPass->QueryInterface(__uuidof(IWMWriterPreprocess), preprocess.putVoid()), S_OK);
    EXPECT_EQ(preprocess->GetMaxPreprocessingPasses(0, 0, &passes), S_OK);
    EXPECT_EQ(passes, 1u);
    WCHAR language[16];
    WORD length = 16;
    ComPtr<IWMStreamConfig3> config3;
    ASSERT_EQ(stream->QueryInterface(__uuidof(IWMStreamConfig3), config3.putVoid()), S_OK);
    EXPECT_EQ(config3->GetLanguage(language, &length), S_OK);
    EXPECT_STREQ(language, L"en-us");

    // A profile saved elsewhere: other case, extra elements, a codec this runtime does not
    // have and a quality VBR byte rate; it loads as it is.
    const wchar_t* foreign =
        L"<?xml version=\"1.0\"?><!-- saved by hand -->\r\n<Profile Version=\"589824\" name=\"Pro &amp; "
        L"more\">"
        L"<streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\" bitrate=\"0\""
        L" vbrenabled=\"1\" bitratemax=\"256000\" bufferwindowmax=\"-1\"><unknown a='b'/>"
        L"<wmmediatype subtype=\"{00000162-0000-0010-8000-00AA00389B71}\" lsamplesize=\"8192\">"
        L"<waveformatex wFormatTag=\"354\" nChannels=\"2\" nSamplesPerSec=\"48000\" "
        L"nAvgBytesPerSec=\"2147483482\""
        L" nBlockAlign=\"8192\" wBitsPerSample=\"24\" codecdata=\"1800030000000000000000000000E0000000\"/>"
        L"</wmmediatype></streamconfig></Profile>";
    ASSERT_EQ(manager->LoadProfileByData(foreign, loaded.put()), S_OK);
    ASSERT_EQ(loaded->GetStream(0, stream.put()), S_OK);
    wave = nullptr;
    std::vector<BYTE> type = MediaTypeBytes(stream.get());
    wave = Wave(type);
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->wFormatTag, 0x0162);
    EXPECT_EQ(wave->nAvgBytesPerSec, 0x7FFFFF5Au);
    EXPECT_EQ(wave->cbSize, 18);
    EXPECT_EQ(Property(stream.get(), wmsdk::kVbrEnabled), 1u);
    EXPECT_EQ(Property(stream.get(), wmsdk::kVbrBitrateMax), 256000u);
    EXPECT_EQ(Property(stream.get(), wmsdk::kVbrBufferWindowMax), 0xFFFFFFFFu);
    // ... which a writer refuses: no such codec here.
    ComPtr<IWMWriter> writer = NewWriter();
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->SetProfile(loaded.get()), NS_E_CODEC_UNAVAILABLE);

    for (const wchar_t* bad :
         {L"", L"<profile", L"<streamconfig/>", L"<profile><streamconfig majortype=\"x\"/></profile>",
          L"<profile version=\"nine\"></profile>"}) {
        EXPECT_EQ(manager->LoadProfileByData(bad, loaded.put()), NS_E_INVALIDPROFILE)
            << std::string(bad, bad + wcslen(bad));
    }
}

TEST(WmRuntimeWriter, WritesAFileThatWinesReaderDecodes) {
    txtest::TempDir dir;
    std::string path = KeepPath(dir, "written.wma");
    ASSERT_NO_FATAL_FAILURE(WriteTestFile(path));

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    auto createReader =
        Entry<HRESULT(WINAPI*)(IUnknown*, DWORD, IWMSyncReader**)>("wmvcore.dll", "WMCreateSyncReader");
    ASSERT_TRUE(createReader);
    ComPtr<IWMSyncReader> reader;
    ASSERT_EQ(createReader(nullptr, 0, reader.put()), S_OK);
    ASSERT_EQ(reader->Open(Widen(path).c_str()), S_OK);
    ComPtr<IWMOutputMediaProps> output;
    ASSERT_EQ(reader->GetOutputProps(0, output.put()), S_OK);
    std::vector<BYTE> type = MediaTypeBytes(output.get());
    const WAVEFORMATEX* wave = Wave(type);
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->nSamplesPerSec, 44100u);
    EXPECT_EQ(wave->nChannels, 2);
    ASSERT_GT(wave->nBlockAlign, 0);
    WORD blockAlign = wave->nBlockAlign;
    uint64_t bytes = 0;
    for (;;) {
        ComPtr<INSSBuffer> sample;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, outputNumber = 0;
        WORD stream = 0;
        HRESULT hr = reader->GetNextSample(0, sample.put(), &time, &duration, &flags, &outputNumber, &stream);
        if (hr == NS_E_NO_MORE_SAMPLES)
            break;
        ASSERT_EQ(hr, S_OK);
        BYTE* data = nullptr;
        DWORD length = 0;
        ASSERT_EQ(sample->GetBufferAndLength(&data, &length), S_OK);
        bytes += length;
    }
    EXPECT_EQ(reader->Close(), S_OK);
    // 3 s at 44.1 kHz; the encoder's delay and the padded last frame add at most two frames.
    int64_t frames = static_cast<int64_t>(bytes / blockAlign);
    EXPECT_GE(frames, 3 * 44100 - 2048) << frames;
    EXPECT_LE(frames, 3 * 44100 + 2 * 2048) << frames;
}

TEST(WmRuntimeEditor, ChangesTheAttributesAndNothingElse) {
    txtest::TempDir dir;
    std::string path = KeepPath(dir, "edited.wma");
    ASSERT_NO_FATAL_FAILURE(WriteTestFile(path));
    const std::string before = txtest::ReadFile(path);
    ComPtr<IWMMetadataEditor> editor = NewEditor();
    ASSERT_TRUE(editor);
    txtest::CheckInterfaces(editor.get(),
                            {__uuidof(IWMMetadataEditor), __uuidof(IWMHeaderInfo), __uuidof(IWMHeaderInfo2),
                             __uuidof(IWMHeaderInfo3)},
                            {__uuidof(IWMWriter), __uuidof(IWMProfile)});
    ComPtr<IWMHeaderInfo3> info;
    ASSERT_EQ(editor->QueryInterface(__uuidof(IWMHeaderInfo3), info.putVoid()), S_OK);
    WORD count = 0;
    EXPECT_EQ(info->GetAttributeCount(0, &count), NS_E_INVALID_REQUEST) << "not open";
    ASSERT_EQ(editor->Open(Widen(path).c_str()), S_OK);

    // What the writer put there, and what the file properties give.
    EXPECT_EQ(GetString(info.get(), L"Title"), L"Written Title");
    EXPECT_EQ(GetString(info.get(), L"WM/AlbumTitle"), L"Written Album");
    WORD stream = 0, length = 8;
    WMT_ATTR_DATATYPE type;
    QWORD duration = 0;
    ASSERT_EQ(
        info->GetAttributeByName(&stream, L"Duration", &type, reinterpret_cast<BYTE*>(&duration), &length),
        S_OK);
    EXPECT_EQ(type, WMT_TYPE_QWORD);
    EXPECT_NEAR(static_cast<double>(duration) / kSecond, 3.0, 0.1);
    DWORD track = 0;
    length = 4;
    ASSERT_EQ(
        info->GetAttributeByName(&stream, L"WM/TrackNumber", &type, reinterpret_cast<BYTE*>(&track), &length),
        S_OK);
    EXPECT_EQ(type, WMT_TYPE_DWORD);
    EXPECT_EQ(track, 7u);
    EXPECT_EQ(info->SetAttribute(0, L"Duration", WMT_TYPE_QWORD, reinterpret_cast<BYTE*>(&duration), 8),
              NS_E_ATTRIBUTE_READ_ONLY);

    // Indices are shared by both interfaces: find and delete the album by its index.
    WORD indices[4] = {}, found = 4;
    ASSERT_EQ(info->GetAttributeIndices(0, L"WM/AlbumTitle", nullptr, indices, &found), S_OK);
    ASSERT_EQ(found, 1);
    WCHAR name[64];
    WORD nameLength = 64;
    length = 0;
    stream = 0;
    ASSERT_EQ(info->GetAttributeByIndex(indices[0], &stream, name, &nameLength, &type, nullptr, &length),
              S_OK);
    EXPECT_STREQ(name, L"WM/AlbumTitle");
    EXPECT_EQ(info->DeleteAttribute(0, indices[0]), S_OK);
    EXPECT_EQ(SetString(info.get(), L"Title", L"Edited \u00e9t\u00e9 Title"), S_OK);
    WORD added = 0;
    std::wstring custom = L"kept";
    EXPECT_EQ(info->AddAttribute(0, L"Trelvox/Check", &added, WMT_TYPE_STRING, 0,
                                 reinterpret_cast<const BYTE*>(custom.c_str()),
                                 static_cast<DWORD>((custom.size() + 1) * 2)),
              S_OK);
    ASSERT_EQ(editor->Flush(), S_OK);
    EXPECT_EQ(info->GetAttributeCount(0, &count), NS_E_INVALID_REQUEST) << "Flush closes";

    const std::string after = txtest::ReadFile(path);
    EXPECT_NE(HeaderSizeOf(after), HeaderSizeOf(before));
    EXPECT_TRUE(AfterHeader(after) == AfterHeader(before)) << "the audio changed";
    EXPECT_EQ(after.size() - std::stoull(HeaderSizeOf(after)),
              before.size() - std::stoull(HeaderSizeOf(before)));

    // Reopened, it holds the edits; Close drops a change.
    ASSERT_EQ(editor->Open(Widen(path).c_str()), S_OK);
    EXPECT_EQ(GetString(info.get(), L"Title"), L"Edited \u00e9t\u00e9 Title");
    EXPECT_EQ(GetString(info.get(), L"Trelvox/Check"), L"kept");
    EXPECT_EQ(GetString(info.get(), L"WM/AlbumTitle"), L"<missing>");
    EXPECT_EQ(SetString(info.get(), L"Title", L"dropped"), S_OK);
    EXPECT_EQ(editor->Close(), S_OK);
    EXPECT_TRUE(txtest::ReadFile(path) == after);

    // Not an ASF file: refused, left alone.
    std::string other = dir / "other.wma";
    txtest::WriteFile(other, "RIFF\x10\0\0\0WAVEfmt nothing more to see here");
    EXPECT_EQ(editor->Open(Widen(other).c_str()), NS_E_INVALID_INPUT_FORMAT);
}
