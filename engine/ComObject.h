// The one IUnknown implementation that every reference-counted class of the library uses.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace trelvox {

// Reference count starting at 1 (the factory's reference, handed to the caller).
// Deleting goes through the virtual destructor of the class that mixes this in; that
// destructor sits after the interface slots, so the interface layouts are not affected.
class RefCount {
public:
    ULONG Increment() { return static_cast<ULONG>(++m_count); }
    // Returns the new count; the caller deletes itself at zero.
    ULONG Decrement() { return static_cast<ULONG>(--m_count); }
    ULONG Value() const { return static_cast<ULONG>(m_count.load()); }

private:
    std::atomic<LONG> m_count{1};
};

// Implements QueryInterface, AddRef and Release for Primary (an IUnknown-derived interface
// that the object exposes as its identity) plus whatever FindInterface adds.
// Derived classes list their further interfaces by overriding FindInterface.
template <class Primary> class ComObject : public Primary {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            *out = static_cast<Primary*>(this);
        else
            *out = FindInterface(riid);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Increment(); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // Returns the interface pointer for riid (without AddRef), or null.
    virtual void* FindInterface(REFIID riid) = 0;

private:
    RefCount m_refs;
};

} // namespace trelvox
