// The writer (IWMWriter, IWMWriterPreprocess, IWMHeaderInfo/2/3): what WMCreateWriter
// returns. It takes a profile with one WMA stream of the runtime's codecs, PCM on its one
// input, and writes the ASF file with the attributes set on it.
#pragma once

#include "AsfEncoder.h"
#include "HeaderInfo.h"
#include "Profile.h"

#include <memory>

namespace wmruntime {

class Writer : public ComObjectOf<IWMWriter, IWMWriterPreprocess, HeaderInfo> {
public:
    // IWMWriter
    HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID id) override;
    HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile* profile) override;
    HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR* path) override;
    HRESULT STDMETHODCALLTYPE GetInputCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetInputProps(DWORD input, IWMInputMediaProps** props) override;
    HRESULT STDMETHODCALLTYPE SetInputProps(DWORD input, IWMInputMediaProps* props) override;
    HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD input, DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD input, DWORD format, IWMInputMediaProps** props) override;
    HRESULT STDMETHODCALLTYPE BeginWriting() override;
    HRESULT STDMETHODCALLTYPE EndWriting() override;
    HRESULT STDMETHODCALLTYPE AllocateSample(DWORD size, INSSBuffer** sample) override;
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override;
    HRESULT STDMETHODCALLTYPE Flush() override;
    // IWMWriterPreprocess
    HRESULT STDMETHODCALLTYPE GetMaxPreprocessingPasses(DWORD input, DWORD flags, DWORD* passes) override;
    HRESULT STDMETHODCALLTYPE SetNumPreprocessingPasses(DWORD input, DWORD flags, DWORD passes) override;
    HRESULT STDMETHODCALLTYPE BeginPreprocessingPass(DWORD input, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE PreprocessSample(DWORD input, QWORD time, DWORD flags,
                                               INSSBuffer* sample) override;
    HRESULT STDMETHODCALLTYPE EndPreprocessingPass(DWORD input, DWORD flags) override;

protected:
    void* FindInterface(REFIID riid) override;
    HRESULT AttributesReady(bool change) const override;

private:
    enum class State { NoProfile, Ready, Writing };

    HRESULT CheckInput(DWORD input) const;
    MediaType DefaultInput() const;

    State m_state = State::NoProfile;
    EncodeTarget m_target = {};
    MediaType m_input;
    std::u16string m_path;
    std::unique_ptr<AsfEncoder> m_encoder;
    // Preprocessing: passes the profile allows, passes asked for, passes ended, in a pass.
    DWORD m_maxPasses = 0;
    DWORD m_passes = 0;
    DWORD m_passesEnded = 0;
    bool m_inPass = false;
};

} // namespace wmruntime
