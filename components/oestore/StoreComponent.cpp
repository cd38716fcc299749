// The store component: class {E70C92A9-4BFD-11D1-8A95-00C04FB951F3}, whose object answers
// QueryInterface for the store namespace (platform/StoreInterfaces.h) with a new namespace.
#include <strings.h>

#include <atomic>
#include <cstring>
#include <new>

#include "components/oestore/StoreNamespace.h"
#include "platform/Com.h"

namespace {

struct ClassObject {
    KComObject base;
    std::atomic<std::uint32_t> refs{1};
};

void AddRef(KComObject* self) {
    ++reinterpret_cast<ClassObject*>(self)->refs;
}
void Release(KComObject* self) {
    auto* object = reinterpret_cast<ClassObject*>(self);
    if (--object->refs == 0) delete object;
}
KHRESULT QueryInterface(KComObject* self, const char* name, KComObject** out) {
    if (!out) return platform::kE_POINTER;
    *out = nullptr;
    if (!name) return platform::kE_INVALIDARG;
    if (strcasecmp(name, platform::kIID_IStoreNamespace) == 0) {
        try {
            *out = reinterpret_cast<KComObject*>(oestore::NewStoreNamespace());
        } catch (...) {
            return platform::kE_OUTOFMEMORY;
        }
        return platform::kS_OK;
    }
    if (std::strcmp(name, "IUnknown") != 0) return platform::kE_NOINTERFACE;
    AddRef(self);
    *out = self;
    return platform::kS_OK;
}
KHRESULT GetIDOfName(KComObject*, const char16_t*, std::int32_t*) {
    return platform::kE_NOINTERFACE;
}
KHRESULT Invoke(KComObject*, std::int32_t, const char16_t* const*, std::uint32_t, char16_t**,
                char16_t**) {
    return platform::kE_NOINTERFACE;
}
void FreeString(char16_t* text) {
    delete[] text;
}

const KComObjectVtbl kVtbl = {KCOM_ABI_VERSION, AddRef, Release, QueryInterface,
                              GetIDOfName, Invoke, FreeString};

} // namespace

extern "C" __attribute__((visibility("default"))) KHRESULT
KestrelGetClassObject(const char* classId, KComObject** out) {
    if (!out) return platform::kE_POINTER;
    *out = nullptr;
    if (!classId || strcasecmp(classId, platform::kCLSID_StoreNamespace) != 0)
        return platform::kCLASS_E_CLASSNOTAVAILABLE;
    auto* object = new (std::nothrow) ClassObject;
    if (!object) return platform::kE_OUTOFMEMORY;
    object->base.vtbl = &kVtbl;
    *out = &object->base;
    return platform::kS_OK;
}
