// The metadata editor (IWMMetadataEditor with IWMHeaderInfo/2/3): what WMCreateEditor
// returns. It changes the description objects of an ASF file's header and leaves every other
// byte as it was; Flush rewrites the file beside itself and replaces it in one step.
#pragma once

#include "HeaderInfo.h"

#include <string>

namespace wmruntime {

class Editor : public ComObjectOf<IWMMetadataEditor, HeaderInfo> {
public:
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE Flush() override;

protected:
    void* FindInterface(REFIID riid) override;
    HRESULT AttributesReady(bool change) const override;

private:
    std::u16string m_path; // empty while closed
    std::vector<Attribute> m_original;
};

// The file-level attributes of the ASF file at path.
HRESULT ReadFileAttributes(const std::u16string& path, std::vector<Attribute>* attributes);
// Replaces the writable file-level attributes of the ASF file at path by those of list.
HRESULT WriteFileAttributes(const std::u16string& path, const std::vector<Attribute>& list);

} // namespace wmruntime
