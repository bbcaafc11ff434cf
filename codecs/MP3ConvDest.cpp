#include "MP3ConvDest.h"

#include "TrelvoxMetadata.h"

#include <string.h>

#include <new>

namespace {

constexpr const char* kLibraryName = "lame_enc.dll";
constexpr const char* kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Trelvox.exe";
constexpr const char* kInstallHelp = "https://lame.sourceforge.io/links.php#Binaries";
// Room for the stream's own buffer: the encoder hands out a few hundred bytes at a time.
constexpr size_t kFileBufferBytes = 64 * 1024;

int32_t EffectiveMode(const MP3SETTINGS& settings) {
    return settings.mode >= MP3SETTINGS::kCBR && settings.mode <= MP3SETTINGS::kFastVBR ? settings.mode
                                                                                        : MP3SETTINGS::kABR;
}

template <class Entry> Entry Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

namespace trelvox {

void BuildLameConfig(const MP3SETTINGS& settings, const WAVEFORMATEX& input, LAMECONFIG* config) {
    memset(config, 0, sizeof(*config));
    int32_t mode = EffectiveMode(settings);
    bool cbr = mode == MP3SETTINGS::kCBR;
    bool abr = mode == MP3SETTINGS::kABR;
    config->configKind = kLameConfigKind;
    config->structVersion = kLameConfigVersion;
    config->structSize = sizeof(LAMECONFIG);
    config->sampleRate = input.nSamplesPerSec;
    config->reSampleRate = static_cast<uint32_t>(settings.sampleRate);
    config->mode = input.nChannels == 1 ? 3 : settings.jointStereo ? 1 : 0;
    config->bitrate = cbr ? static_cast<uint32_t>(settings.bitrate) : 0;
    config->maxBitrate = abr ? 0 : static_cast<uint32_t>(settings.maxBitrate);
    config->preset = -1;
    config->privateBit = settings.privateBit;
    config->crc = settings.crc;
    config->copyright = settings.copyright;
    config->original = settings.original;
    config->writeVBRHeader = cbr ? 0 : 1;
    config->enableVBR = config->writeVBRHeader;
    int32_t vbrQuality = 10 - settings.vbrQuality / 10;
    config->vbrQuality = vbrQuality > 9 ? 9 : vbrQuality < 0 ? 0 : vbrQuality;
    config->abrBps = abr ? static_cast<uint32_t>(settings.bitrate) * 1000u : 0;
    static const int32_t kMethods[] = {-1, 1, 4, 2}; // CBR, VBR, ABR, Fast VBR
    config->vbrMethod = kMethods[mode];
    // The strict-ISO word stays in the record only; the encoder gets the lenient rules.
    config->strictIso = 0;
    uint8_t quality = static_cast<uint8_t>(settings.quality);
    config->quality = static_cast<uint16_t>(quality | (static_cast<uint8_t>(~quality) << 8));
}

bool LameAppPath(char (&path)[MAX_PATH]) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char folder[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof(folder) - 1;
    LONG result = RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || !folder[0])
        return false;
    char expanded[MAX_PATH] = {};
    if (type == REG_EXPAND_SZ) {
        DWORD length = ExpandEnvironmentStringsA(folder, expanded, sizeof(expanded));
        if (length == 0 || length > sizeof(expanded))
            return false;
    } else {
        strcpy(expanded, folder);
    }
    // The folder is usually written without its final separator.
    size_t length = strlen(expanded);
    bool separator = expanded[length - 1] == '\\' || expanded[length - 1] == '/';
    if (length + (separator ? 0 : 1) + strlen(kLibraryName) >= MAX_PATH)
        return false;
    strcpy(path, expanded);
    if (!separator)
        strcat(path, "\\");
    strcat(path, kLibraryName);
    return true;
}

} // namespace trelvox

CMP3ConvDest::CMP3ConvDest() : m_working(m_settings.Record()) {}

CMP3ConvDest::~CMP3ConvDest() {
    Close();
}

bool CMP3ConvDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_MP3ConvDest;
    return true;
}

bool CMP3ConvDest::LoadEncoder() {
    m_encoder = Encoder();
    trelvox::UniqueModule module(LoadLibraryA(kLibraryName));
    if (!module) {
        char path[MAX_PATH];
        if (trelvox::LameAppPath(path))
            module.reset(LoadLibraryA(path));
    }
    if (!module)
        return false;
    HMODULE handle = module.get();
    m_encoder.init = Lookup<trelvox::BeInitStream>(handle, "beInitStream");
    m_encoder.encode = Lookup<trelvox::BeEncodeChunk>(handle, "beEncodeChunk");
    m_encoder.deinit = Lookup<trelvox::BeDeinitStream>(handle, "beDeinitStream");
    m_encoder.close = Lookup<trelvox::BeCloseStream>(handle, "beCloseStream");
    m_encoder.version = Lookup<trelvox::BeVersion>(handle, "beVersion");
    m_encoder.writeVBRHeader = Lookup<trelvox::BeWriteVBRHeader>(handle, "beWriteVBRHeader");
    m_encoder.module = std::move(module);
    // A library without the stream functions cannot encode: it counts as not installed.
    if (!m_encoder.init || !m_encoder.encode || !m_encoder.deinit || !m_encoder.close) {
        m_encoder = Encoder();
        return false;
    }
    return true;
}

bool CMP3ConvDest::Open() {
    if (!CDefConvertDestination::Open())
        return false;
    // Opened twice: the earlier encoding is finished first, so that nothing of it leaks.
    if (m_streamOpen || m_file)
        Close();
    m_working = m_settings.Record();
    switch (m_format.wBitsPerSample) {
    case 8:
    case 16:
    case 24:
        m_bytesPerSample = m_format.wBitsPerSample / 8u;
        break;
    default:
        Close();
        SetError("Source uses unsupported %d bit samples", static_cast<int>(m_format.wBitsPerSample));
        return false;
    }
    // The encoder takes one or two interleaved channels and would misread any other layout.
    if (m_format.nChannels != 1 && m_format.nChannels != 2) {
        Close();
        SetError("Source uses %d channels; MP3 files hold only mono or stereo",
                 static_cast<int>(m_format.nChannels));
        return false;
    }
    if (!LoadEncoder()) {
        Close();
        SetError("LAME MP3 encoder was not installed, see %s", kInstallHelp);
        return false;
    }
    trelvox::LAMECONFIG config;
    trelvox::BuildLameConfig(m_working, m_format, &config);
    DWORD samplesPerChunk = 0;
    DWORD outputSize = 0;
    trelvox::LameStream stream = nullptr;
    unsigned long result = m_encoder.init(&config, &samplesPerChunk, &outputSize, &stream);
    if (result != 0) {
        Close();
        SetError("Audio codec cannot be initialized (error %d)", static_cast<int>(result));
        return false;
    }
    m_stream = stream;
    m_streamOpen = true;
    m_samplesPerChunk = samplesPerChunk;
    m_outputSize = outputSize;
    if (m_samplesPerChunk == 0 || m_outputSize == 0) {
        Close();
        SetError("Audio codec cannot be initialized (error %d)", -1);
        return false;
    }
    m_output = trelvox::AllocateBytes(m_outputSize);
    m_samples.reset(new (std::nothrow) int16_t[m_samplesPerChunk]);
    m_held = 0;
    m_writeFailed = false;
    if (!m_output || !m_samples) {
        Close();
        SetError("Out of memory");
        return false;
    }
    m_file.reset(fopen(m_path, "wb"));
    if (!m_file) {
        Close();
        SetError("Output file cannot be opened for writing");
        return false;
    }
    setvbuf(m_file.get(), nullptr, _IOFBF, kFileBufferBytes);
    return true;
}

void CMP3ConvDest::Convert(const uint8_t* in, DWORD count, int16_t* out) const {
    switch (m_bytesPerSample) {
    case 1:
        for (DWORD i = 0; i < count; ++i)
            out[i] = static_cast<int16_t>((in[i] - 128) * 256);
        break;
    case 3:
        // The upper two bytes of each little-endian triple.
        for (DWORD i = 0; i < count; ++i, in += 3)
            out[i] = static_cast<int16_t>(in[1] | (in[2] << 8));
        break;
    default:
        memcpy(out, in, count * sizeof(int16_t));
        break;
    }
}

bool CMP3ConvDest::WriteOutput(DWORD bytes) {
    if (bytes == 0 || !m_file)
        return true;
    FILE* file = m_file.get();
    if (fwrite(m_output.get(), 1, bytes, file) != bytes) {
        SetError("Output file cannot be written (error %d)", ferror(file));
        m_writeFailed = true;
        return false;
    }
    return true;
}

bool CMP3ConvDest::EncodeChunk(const int16_t* samples, DWORD count) {
    if (count == 0)
        return true;
    DWORD produced = 0;
    unsigned long result = m_encoder.encode(m_stream, count, samples, m_output.get(), &produced);
    if (result != 0) {
        SetError("Chuck cannot be encoded (BladeEnc error %d)", static_cast<int>(result));
        return false;
    }
    return WriteOutput(produced);
}

bool CMP3ConvDest::Write(uint32_t bytes, const void* pcm) {
    if (!m_streamOpen || !m_file || (bytes && !pcm))
        return false;
    const uint8_t* in = static_cast<const uint8_t*>(pcm);
    DWORD count = bytes / m_bytesPerSample;
    // Complete the chunk that earlier writes began.
    if (m_held > 0) {
        DWORD take = m_samplesPerChunk - m_held;
        if (take > count)
            take = count;
        Convert(in, take, m_samples.get() + m_held);
        m_held += take;
        in += take * m_bytesPerSample;
        count -= take;
        if (m_held == m_samplesPerChunk) {
            m_held = 0;
            if (!EncodeChunk(m_samples.get(), m_samplesPerChunk))
                return false;
        }
    }
    while (count >= m_samplesPerChunk) {
        if (m_bytesPerSample == 2) {
            if (!EncodeChunk(reinterpret_cast<const int16_t*>(in), m_samplesPerChunk))
                return false;
        } else {
            Convert(in, m_samplesPerChunk, m_samples.get());
            if (!EncodeChunk(m_samples.get(), m_samplesPerChunk))
                return false;
        }
        in += m_samplesPerChunk * m_bytesPerSample;
        count -= m_samplesPerChunk;
    }
    if (count > 0) {
        Convert(in, count, m_samples.get());
        m_held = count;
    }
    return true;
}

bool CMP3ConvDest::Close() {
    CDefConvertDestination::Close();
    // Failures here are reported and the result stays true. After a failed write the file is
    // incomplete and its error already reported: nothing more goes into it.
    bool ok = !m_writeFailed;
    if (m_streamOpen) {
        // The held samples go out as a last, shorter chunk, then the encoder's own remainder.
        DWORD held = m_held;
        m_held = 0;
        if (held > 0 && m_file && ok)
            ok = EncodeChunk(m_samples.get(), held);
        DWORD produced = 0;
        if (m_output && m_encoder.deinit(m_stream, m_output.get(), &produced) == 0 && ok)
            ok = WriteOutput(produced);
        m_encoder.close(m_stream);
        m_stream = nullptr;
        m_streamOpen = false;
    }
    if (m_file) {
        FILE* file = m_file.get();
        if (ok && (fflush(file) != 0 || ferror(file))) {
            m_writeFailed = true;
            SetError("Output file cannot be written (error %d)", ferror(file));
            ok = false;
        }
        m_file.reset();
        // The library rewrites the first frame of the closed file with the stream's totals.
        if (m_encoder.writeVBRHeader)
            m_encoder.writeVBRHeader(m_path);
    }
    m_output.reset();
    m_samples.reset();
    m_outputSize = 0;
    m_samplesPerChunk = 0;
    m_encoder = Encoder();
    m_writeFailed = false;
    return true;
}

bool CMP3ConvDest::GetMetadata(IMetadata** md) {
    if (!md || !m_path[0])
        return false;
    *md = nullptr;
    // The file is MPEG audio whatever its name says: a name whose extension chooses no tag
    // container still gets an ID3 tag.
    HRESULT result = MetadataCreateFromFile(m_path, md);
    if (result == E_INVALIDARG)
        result = MetadataCreateMP3(m_path, md);
    return SUCCEEDED(result) && *md;
}

bool CMP3ConvDest::EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat, uint32_t* outBytes) {
    if (!inFormat || !outBytes || inFormat->nAvgBytesPerSec == 0)
        return false;
    double estimate = static_cast<double>(inBytes) / inFormat->nAvgBytesPerSec *
                      (m_settings.Record().bitrate * 1000.0) / 8.0;
    *outBytes = estimate <= 0 ? 0 : estimate >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(estimate);
    return true;
}

bool CMP3ConvDest::ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) {
    return m_settings.RunFor<CMP3ConvDest>(parent, alsoApply, CLSID_MP3ConvDest);
}

bool CMP3ConvDest::GetSettingsText(char* buf, int size) {
    return m_settings.Record().GetText(buf, size);
}

bool CMP3ConvDest::SetOption(const char* name, const char* value, char* message) {
    return m_settings.Record().SetOption(name, value, message);
}
