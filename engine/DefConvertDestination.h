#pragma once

#include "ComObject.h"
#include "DefErrLog.h"

// Base of every destination: path, input format, the source it was made for, and the
// preparation of the output location in Open.
class CDefConvertDestination : public trelvox::ComObject<IConvertDestination>, public CDefErrLog {
public:
    int32_t TX_THISCALL GetFormatIndex() override;
    int32_t TX_THISCALL SetFormatIndex(int32_t index) override;
    bool TX_THISCALL SetFileName(const char* path) override;
    bool TX_THISCALL GetFileName(char* buf, int size) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL GetMetadata(IMetadata** md) override;
    bool TX_THISCALL SetSource(IConvertSource* src) override;
    bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                  uint32_t* outBytes) override;
    bool TX_THISCALL SetFormat(const WAVEFORMATEX* wfx) override;
    bool TX_THISCALL ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) override;
    bool TX_THISCALL GetSettingsText(char* buf, int size) override;
    bool TX_THISCALL SetOption(const char* name, const char* value, char* message) override;
    void TX_THISCALL SetErrorLog(IConvertCallback* cb) override;

protected:
    CDefConvertDestination() = default;
    ~CDefConvertDestination() override;

    // Answers IConvertDestination; destinations with more interfaces extend this.
    void* FindInterface(REFIID riid) override;

    int32_t m_formatIndex = -1;
    char m_path[MAX_PATH] = {};
    WAVEFORMATEX m_format = {};
    IConvertSource* m_source = nullptr; // one reference owned
};

namespace trelvox {

// Creates every missing directory along dir, from the root down. Failures along the way are
// ignored; the result says whether dir is a directory afterwards.
bool CreateDirectoryChain(const char* dir);

} // namespace trelvox
