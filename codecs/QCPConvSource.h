#pragma once

#include "ComPtr.h"
#include "DefConvertSource.h"
#include "Handles.h"
#include "QsclInterface.h"

// Reads QCP (PureVoice) voice files through the PureVoice library "Qscl.dll", loaded at Open,
// as 16-bit mono PCM at 8000 Hz. No decoder of its own: without the library there is nothing
// to read with.
class CQCPConvSource : public CDefConvertSource {
public:
    CQCPConvSource() = default;
    ~CQCPConvSource() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Play(IPlayCallback* sink) override;
    bool TX_THISCALL Close() override;

private:
    // Open's steps after the base check; on false the message has been logged and the
    // caller closes.
    bool OpenLibrary();

    // Declared before the objects so that they are released before the library goes.
    trelvox::UniqueModule m_library;
    QsclCreateInstanceFn m_create = nullptr;
    trelvox::ComPtr<IQsclFile> m_file;
    trelvox::ComPtr<IQsclError> m_error;
};
