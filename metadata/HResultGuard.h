#pragma once

#include <windows.h>

#include <new>

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

} // namespace trelvox
