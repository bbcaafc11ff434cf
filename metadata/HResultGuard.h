#pragma once

#include "ComPtr.h"
#include "PathText.h"

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>

namespace trelvox {

// Runs body (returning an HRESULT) so that no exception leaves an export or an interface
// operation: running out of memory becomes E_OUTOFMEMORY, anything else E_FAIL.
template <class Body> HRESULT GuardHResult(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// The tag operations return bare HRESULTs; the reason for a failure travels the COM way, as
// the calling thread's error object, which the caller takes with GetErrorInfo. Returns E_FAIL.
inline HRESULT FailWithMessage(const std::string& text) {
    ComPtr<ICreateErrorInfo> create;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.put())) && create) {
        std::wstring wide = Widen(text, CP_ACP);
        create->SetDescription(const_cast<wchar_t*>(wide.c_str()));
        if (SUCCEEDED(create.As(&info)))
            SetErrorInfo(0, info.get());
    }
    return E_FAIL;
}

} // namespace trelvox
