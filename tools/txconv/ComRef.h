// An owner of one reference to a library object: released when the owner goes.
#pragma once

namespace txconv {

template <class T> class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(ComRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            m_object = other.m_object;
            other.m_object = nullptr;
        }
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // For factories that hand out a reference through T**: drops the old one first.
    T** put() {
        reset();
        return &m_object;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (m_object)
            m_object->Release();
        m_object = nullptr;
    }

private:
    T* m_object = nullptr;
};

} // namespace txconv
