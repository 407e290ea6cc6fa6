// An owning reference to a COM-style interface: released when it goes.
#pragma once

#include <unknwn.h>

namespace hostsim {

template <class T>
class CComRef {
public:
    CComRef() = default;
    // Takes over a reference the caller already owns.
    explicit CComRef(T* owned) : m_p(owned) {}
    CComRef(const CComRef& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    CComRef& operator=(const CComRef& other) {
        if (other.m_p) other.m_p->AddRef();
        Reset();
        m_p = other.m_p;
        return *this;
    }
    ~CComRef() { Reset(); }

    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    // For out parameters: drops the current reference first.
    T** Out() {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Queries another interface; empty on failure.
    template <class U>
    CComRef<U> Query(REFIID id) const {
        CComRef<U> result;
        if (m_p) m_p->QueryInterface(id, result.OutVoid());
        return result;
    }

private:
    T* m_p = nullptr;
};

}  // namespace hostsim
