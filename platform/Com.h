#pragma once
// What stands in for COM: class creation by class id through a registration file beside the
// program, IUnknown/IDispatch-like objects, dispatch by method name with positional string
// arguments, UTF-16 at the call.
//
// The registration file ("kestrel-classes.reg" in the program's folder, or the file named by
// $KESTREL_CLASS_REGISTRY) holds one class per line:
//     {AF511F6D-19DF-4044-AF92-9761FA9182E8}=libkestrel_extractor.so
// Blank lines and lines starting with "#" or ";" are skipped; class ids compare without regard
// to case; a relative library name is taken relative to the file's folder.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ComAbi.h"
#include "platform/Utf8.h" // texts cross the dispatch interface as UTF-16

namespace platform {

using HResult = KHRESULT;

// The codes the layer gives, with the values Windows uses for them.
inline constexpr HResult kS_OK = 0;
inline constexpr HResult kE_FAIL = static_cast<HResult>(0x80004005);
inline constexpr HResult kE_NOINTERFACE = static_cast<HResult>(0x80004002);
inline constexpr HResult kE_POINTER = static_cast<HResult>(0x80004003);
inline constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057);
inline constexpr HResult kE_OUTOFMEMORY = static_cast<HResult>(0x8007000E);
inline constexpr HResult kREGDB_E_CLASSNOTREG = static_cast<HResult>(0x80040154);
inline constexpr HResult kCLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111);
inline constexpr HResult kCO_E_DLLNOTFOUND = static_cast<HResult>(0x800401F8);
inline constexpr HResult kCO_E_ERRORINDLL = static_cast<HResult>(0x800401F9);
inline constexpr HResult kDISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006);
inline constexpr HResult kDISP_E_EXCEPTION = static_cast<HResult>(0x80020009);
inline constexpr HResult kDISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003);
inline constexpr HResult kDISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000E);

inline bool Succeeded(HResult hr) {
    return hr >= 0;
}
inline bool Failed(HResult hr) {
    return hr < 0;
}

// The system's text for a code ("Class not registered"), as FormatMessage gives it; empty for
// a code it does not know.
std::string HResultText(HResult hr);

// A failure with the system's text and, where there is one, the detail (dlerror, the
// exception's description).
struct ComError {
    HResult code = kS_OK;
    std::string text;
};

// An owned reference to a component object (AddRef/Release as COM does).
class CComRef {
public:
    CComRef() = default;
    // Takes over one reference.
    explicit CComRef(KComObject* object) : m_object(object) {}
    CComRef(const CComRef& other);
    CComRef& operator=(const CComRef& other);
    CComRef(CComRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    CComRef& operator=(CComRef&& other) noexcept;
    ~CComRef();

    explicit operator bool() const { return m_object != nullptr; }
    KComObject* Get() const { return m_object; }
    void Reset();

    // QueryInterface by name ("IUnknown", "IDispatch"). out stays empty on failure, and also
    // when the object answers success without a pointer.
    HResult QueryInterface(const char* interfaceName, CComRef& out) const;
    // QueryInterface for an interface a component publishes beside IDispatch (an interface id,
    // platform/StoreInterfaces.h): *out is that interface, released through it.
    HResult QueryInterface(const char* interfaceId, void** out) const;
    // IDispatch::GetIDsOfNames for one name.
    HResult GetIDOfName(std::u16string_view name, std::int32_t& dispId) const;
    // IDispatch::Invoke as a method call with positional string arguments. hasResult tells
    // whether the answer was a string. On kDISP_E_EXCEPTION, exceptionText holds the text.
    HResult Invoke(std::int32_t dispId, const std::vector<std::u16string>& args,
                   std::u16string& result, bool& hasResult, std::u16string& exceptionText) const;

private:
    KComObject* m_object = nullptr;
};

// The registration file the program uses: $KESTREL_CLASS_REGISTRY, else
// kClassRegistryFileName in the program's library folder (platform/ProgramFolders.h).
std::string GetClassRegistryPath();

// The library registered for a class id in the given registration file, resolved against the
// file's folder; empty when the class is not registered there.
std::string FindClassLibrary(const std::string& registryPath, std::string_view classId);

// CoCreateInstance(classId, in-process, IUnknown): loads the registered library (once per
// process; it stays loaded) and asks its class object for the class. On success `out` holds
// the object, or is empty when the component answered success without one.
HResult CreateInstance(std::string_view classId, CComRef& out, ComError* error = nullptr);
HResult CreateInstanceFrom(const std::string& registryPath, std::string_view classId, CComRef& out,
                           ComError* error = nullptr);

// The server side: a component implements this and hands it out with WrapDispatchObject.
class CDispatchObject {
public:
    virtual ~CDispatchObject() = default;
    // The id of a method, looked up without regard to case; false for an unknown name.
    virtual bool GetIDOfName(std::u16string_view name, std::int32_t& dispId) = 0;
    // Calls a method. Returns kS_OK with the result, kDISP_E_EXCEPTION with the exception's
    // text, or another failure code. An exception thrown out of here becomes
    // kDISP_E_EXCEPTION with its what() text.
    virtual HResult Invoke(std::int32_t dispId, const std::vector<std::u16string>& args,
                           std::u16string& result, std::u16string& exceptionText) = 0;
};

// A new component object (one reference) that answers IUnknown and IDispatch and forwards to
// the implementation, which it owns.
KComObject* WrapDispatchObject(std::unique_ptr<CDispatchObject> implementation);

} // namespace platform
