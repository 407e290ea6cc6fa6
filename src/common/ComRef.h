// An owned reference to a reference-counted component object: released once,
// when the holder goes out of scope or is reset.
#pragma once

#include <unknwn.h>

namespace zr {

template <class T>
class CRef {
public:
    CRef() = default;
    explicit CRef(T* adopted) : m_p(adopted) {}
    ~CRef() { Reset(); }
    CRef(const CRef&) = delete;
    CRef& operator=(const CRef&) = delete;
    CRef(CRef&& other) noexcept : m_p(other.Detach()) {}
    CRef& operator=(CRef&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    friend bool operator==(const CRef& ref, const T* p) { return ref.m_p == p; }
    friend bool operator==(const T* p, const CRef& ref) { return ref.m_p == p; }
    friend bool operator!=(const CRef& ref, const T* p) { return ref.m_p != p; }
    friend bool operator!=(const T* p, const CRef& ref) { return ref.m_p != p; }

    // For out-parameters: drops what is held and hands out the slot.
    T** Put() {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Another interface of the same object; empty when it has none.
    template <class U>
    CRef<U> Query(REFIID iid) const;

    void Reset() {
        if (!m_p) return;
        T* p = m_p;
        m_p = nullptr;
        p->Release();
    }
    // Takes over a reference, releasing what was held.
    void Attach(T* adopted) {
        Reset();
        m_p = adopted;
    }
    // Gives up ownership without releasing.
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};

// Queries `from` for iid into `to`; true only with a successful result and a reference.
template <class T, class U>
bool QueryRef(U* from, REFIID iid, CRef<T>& to) {
    if (!from) {
        to.Reset();
        return false;
    }
    if (FAILED(from->QueryInterface(iid, to.PutVoid()))) {
        to.Detach();  // a failing query may leave garbage in the slot
        return false;
    }
    return static_cast<bool>(to);
}

template <class T>
template <class U>
CRef<U> CRef<T>::Query(REFIID iid) const {
    CRef<U> to;
    QueryRef(m_p, iid, to);
    return to;
}

}  // namespace zr
