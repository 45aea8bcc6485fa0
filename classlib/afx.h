// The root of our small class library: CObject with run-time class names
// and dynamic creation.
#pragma once

namespace plat {
class System;
}

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)(plat::System&);  // null unless dynamically creatable

    CObject* CreateObject(plat::System& sys) const { return m_pfnCreateObject ? m_pfnCreateObject(sys) : nullptr; }
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }
    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(c) (&c::class##c)

#define DECLARE_DYNAMIC(c)                   \
public:                                      \
    static const CRuntimeClass class##c;     \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(c) \
    DECLARE_DYNAMIC(c)       \
    static CObject* CreateObject(plat::System& sys);

#define IMPLEMENT_DYNAMIC(c, base)                                                \
    const CRuntimeClass c::class##c{#c, RUNTIME_CLASS(base), nullptr};            \
    const CRuntimeClass* c::GetRuntimeClass() const { return RUNTIME_CLASS(c); }

#define IMPLEMENT_DYNCREATE(c, base)                                              \
    CObject* c::CreateObject(plat::System& sys) { return new c(sys); }             \
    const CRuntimeClass c::class##c{#c, RUNTIME_CLASS(base), &c::CreateObject};   \
    const CRuntimeClass* c::GetRuntimeClass() const { return RUNTIME_CLASS(c); }
