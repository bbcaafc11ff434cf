// The file-level attributes of a file being edited or written (IWMHeaderInfo, 2 and 3). The
// object that mixes this in supplies IUnknown and says when the attributes may be used.
// Only stream 0 (the file) has attributes here; markers, scripts and codec descriptions are
// not kept.
#pragma once

#include "AsfHeader.h"
#include "ComHelpers.h"

#include <vector>

namespace wmruntime {

class HeaderInfo : public IWMHeaderInfo3 {
public:
    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value,
                                                  WORD* length) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* stream, LPCWSTR name, WMT_ATTR_DATATYPE* type,
                                                 BYTE* value, WORD* length) override;
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type,
                                           const BYTE* value, WORD length) override;
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetMarker(WORD index, WCHAR* name, WORD* length, QWORD* time) override;
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE name, QWORD time) override;
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD index) override;
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetScript(WORD index, WCHAR* type, WORD* typeLength, WCHAR* command,
                                        WORD* commandLength, QWORD* time) override;
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE type, LPCWSTR_WMSDK_TYPE_SAFE command,
                                        QWORD time) override;
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD index) override;
    // IWMHeaderInfo2
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD index, WORD* nameLength, WCHAR* name,
                                           WORD* descriptionLength, WCHAR* description,
                                           WMT_CODEC_INFO_TYPE* type, WORD* infoLength, BYTE* info) override;
    // IWMHeaderInfo3. Its indices are those of GetAttributeByIndex.
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream, WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD stream, LPCWSTR name, WORD* language, WORD* indices,
                                                  WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream, WORD index, LPWSTR name, WORD* nameLength,
                                                    WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                                    DWORD* length) override;
    HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD stream, WORD index, WMT_ATTR_DATATYPE type, WORD language,
                                              const BYTE* value, DWORD length) override;
    HRESULT STDMETHODCALLTYPE AddAttribute(WORD stream, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type,
                                           WORD language, const BYTE* value, DWORD length) override;
    HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD stream, WORD index) override;
    HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR_WMSDK_TYPE_SAFE name, LPCWSTR_WMSDK_TYPE_SAFE description,
                                           WMT_CODEC_INFO_TYPE type, WORD infoLength, BYTE* info) override;

protected:
    HeaderInfo() = default;
    ~HeaderInfo() = default;

    // S_OK when the attributes may be read (and, with change, changed) now; else the reason.
    virtual HRESULT AttributesReady(bool change) const = 0;
    std::vector<Attribute>& Attributes() { return m_attributes; }

private:
    HRESULT Check(WORD stream, bool change) const;
    HRESULT Store(size_t at, WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length);
    size_t FindName(const std::u16string& name) const;

    std::vector<Attribute> m_attributes;
};

} // namespace wmruntime
