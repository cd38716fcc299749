#pragma once
// The binary contract between the program and a component library: what stands in for COM's
// IUnknown/IDispatch vtables and DllGetClassObject. Plain structures and C linkage, so a
// component built separately (or by another compiler) can be loaded with dlopen.
//
// A component library exports KestrelGetClassObject. For a class id it serves it hands back an
// object with one reference; the caller releases it through its vtable. Strings cross the
// boundary as NUL-terminated UTF-16; a string a component hands out is freed with that
// component's FreeString.
#include <cstdint>

extern "C" {

typedef std::int32_t KHRESULT;

struct KComObject;

struct KComObjectVtbl {
    // The version of this structure; KCOM_ABI_VERSION for the layout below.
    std::uint32_t abiVersion;
    void (*AddRef)(KComObject* self);
    void (*Release)(KComObject* self);
    // interfaceName: "IUnknown" or "IDispatch". On success *out holds a new reference, or null
    // when the object answers success without a pointer. A component may also answer the id
    // of an interface it publishes (platform/StoreInterfaces.h); *out is then that interface.
    KHRESULT (*QueryInterface)(KComObject* self, const char* interfaceName, KComObject** out);
    // GetIDsOfNames for one name; names are looked up without regard to case.
    KHRESULT (*GetIDOfName)(KComObject* self, const char16_t* name, std::int32_t* dispId);
    // A method call with positional string arguments. On success *result holds the answer
    // (may be null: "the result is no string"). On DISP_E_EXCEPTION *exceptionText holds the
    // exception's description. Both are freed with FreeString.
    KHRESULT (*Invoke)
    (KComObject* self, std::int32_t dispId, const char16_t* const* args, std::uint32_t argCount,
     char16_t** result, char16_t** exceptionText);
    void (*FreeString)(char16_t* text);
};

struct KComObject {
    const KComObjectVtbl* vtbl;
};

#define KCOM_ABI_VERSION 1u
#define KCOM_ENTRY_POINT "KestrelGetClassObject"

// The entry point every component library exports.
typedef KHRESULT (*KestrelGetClassObjectFn)(const char* classId, KComObject** out);

} // extern "C"
