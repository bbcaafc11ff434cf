// A minimal owner of one COM interface reference.
#pragma once

#include <unknwn.h>

namespace trelvox {

template <class T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(T* adopt) : m_ptr(adopt) {}
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) : m_ptr(other.m_ptr) {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_ptr(other.m_ptr) { other.m_ptr = nullptr; }
    ComPtr& operator=(ComPtr other) noexcept {
        T* old = m_ptr;
        m_ptr = other.m_ptr;
        other.m_ptr = old;
        return *this;
    }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // Releases what is held and returns the slot for an out parameter.
    T** put() {
        reset();
        return &m_ptr;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (m_ptr) {
            T* old = m_ptr;
            m_ptr = nullptr;
            old->Release();
        }
    }
    // Takes a new reference to ptr.
    void assign(T* ptr) {
        if (ptr)
            ptr->AddRef();
        reset();
        m_ptr = ptr;
    }
    T* detach() {
        T* ptr = m_ptr;
        m_ptr = nullptr;
        return ptr;
    }

    template <class U> HRESULT As(ComPtr<U>* out) const {
        return m_ptr ? m_ptr->QueryInterface(__uuidof(U), out->putVoid()) : E_POINTER;
    }

private:
    T* m_ptr = nullptr;
};

} // namespace trelvox
