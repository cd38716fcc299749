#include "platform/Com.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/Paths.h"
#include "platform/ProgramFolders.h"
#include "platform/Text.h"

namespace platform {

std::string HResultText(HResult hr) {
    switch (static_cast<std::uint32_t>(hr)) {
    case 0x00000000u:
        return "The operation completed successfully.";
    case 0x80004005u:
        return "Unspecified error";
    case 0x80004002u:
        return "No such interface supported";
    case 0x80004003u:
        return "Invalid pointer";
    case 0x80070057u:
        return "The parameter is incorrect.";
    case 0x8007000Eu:
        return "Not enough memory resources are available to complete this operation.";
    case 0x80040154u:
        return "Class not registered";
    case 0x80040111u:
        return "ClassFactory cannot supply requested class";
    case 0x800401F8u:
        return "DLL for class not found";
    case 0x800401F9u:
        return "Error in the DLL";
    case 0x80020006u:
        return "Unknown name.";
    case 0x80020009u:
        return "Exception occurred.";
    case 0x80020003u:
        return "Member not found.";
    case 0x8002000Eu:
        return "Invalid number of parameters.";
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------------
// Object references

CComRef::CComRef(const CComRef& other) : m_object(other.m_object) {
    if (m_object) m_object->vtbl->AddRef(m_object);
}

CComRef& CComRef::operator=(const CComRef& other) {
    if (this != &other) {
        CComRef copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CComRef& CComRef::operator=(CComRef&& other) noexcept {
    if (this != &other) {
        Reset();
        m_object = other.m_object;
        other.m_object = nullptr;
    }
    return *this;
}

CComRef::~CComRef() {
    Reset();
}

void CComRef::Reset() {
    if (m_object) m_object->vtbl->Release(m_object);
    m_object = nullptr;
}

HResult CComRef::QueryInterface(const char* interfaceName, CComRef& out) const {
    out.Reset();
    if (!m_object) return kE_POINTER;
    KComObject* got = nullptr;
    HResult hr = m_object->vtbl->QueryInterface(m_object, interfaceName, &got);
    if (Succeeded(hr))
        out = CComRef(got);
    else if (got)
        got->vtbl->Release(got);
    return hr;
}

HResult CComRef::QueryInterface(const char* interfaceId, void** out) const {
    if (!out) return kE_POINTER;
    *out = nullptr;
    if (!m_object) return kE_POINTER;
    return m_object->vtbl->QueryInterface(m_object, interfaceId, reinterpret_cast<KComObject**>(out));
}

HResult CComRef::GetIDOfName(std::u16string_view name, std::int32_t& dispId) const {
    if (!m_object) return kE_POINTER;
    std::u16string z(name);
    return m_object->vtbl->GetIDOfName(m_object, z.c_str(), &dispId);
}

HResult CComRef::Invoke(std::int32_t dispId, const std::vector<std::u16string>& args,
                        std::u16string& result, bool& hasResult,
                        std::u16string& exceptionText) const {
    result.clear();
    exceptionText.clear();
    hasResult = false;
    if (!m_object) return kE_POINTER;
    std::vector<const char16_t*> argv;
    argv.reserve(args.size());
    for (const auto& a : args)
        argv.push_back(a.c_str());
    char16_t* res = nullptr;
    char16_t* exc = nullptr;
    HResult hr = m_object->vtbl->Invoke(m_object, dispId, argv.data(),
                                        static_cast<std::uint32_t>(argv.size()), &res, &exc);
    if (res) {
        result = res;
        hasResult = true;
        m_object->vtbl->FreeString(res);
    }
    if (exc) {
        exceptionText = exc;
        m_object->vtbl->FreeString(exc);
    }
    return hr;
}

// ---------------------------------------------------------------------------------------------
// Registration and creation

std::string GetClassRegistryPath() {
    if (const char* env = std::getenv("KESTREL_CLASS_REGISTRY"); env && *env) return env;
    std::string folder = GetProgramFolders().library;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + kClassRegistryFileName;
}

namespace {
void SetError(ComError* error, HResult hr, const std::string& detail = {}) {
    if (!error) return;
    error->code = hr;
    error->text = HResultText(hr);
    if (!detail.empty()) error->text += error->text.empty() ? detail : " (" + detail + ")";
}

// Libraries stay loaded for the life of the process, as COM keeps an in-process server until
// it is told to free unused libraries; RTLD_NODELETE also keeps GLib's type system safe from an
// unload.
std::mutex g_libraryLock;
std::map<std::string, void*>& LoadedLibraries() {
    static auto* libraries = new std::map<std::string, void*>;
    return *libraries;
}
} // namespace

std::string FindClassLibrary(const std::string& registryPath, std::string_view classId) {
    std::ifstream in(registryPath);
    if (!in) return {};
    std::string line;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        if (!EqualsNoCase(Trim(t.substr(0, eq)), Trim(std::string(classId)))) continue;
        std::string lib = Trim(t.substr(eq + 1));
        if (lib.empty()) return {};
        if (lib[0] != '/') {
            size_t slash = registryPath.rfind('/');
            std::string folder =
                slash == std::string::npos ? GetCurrentDir() : registryPath.substr(0, slash);
            if (folder.empty()) folder = "/";
            if (folder.back() != '/') folder.push_back('/');
            lib.insert(0, folder);
        }
        return lib;
    }
    return {};
}

HResult CreateInstance(std::string_view classId, CComRef& out, ComError* error) {
    return CreateInstanceFrom(GetClassRegistryPath(), classId, out, error);
}

HResult CreateInstanceFrom(const std::string& registryPath, std::string_view classId, CComRef& out,
                           ComError* error) {
    out.Reset();
    std::string library = FindClassLibrary(registryPath, classId);
    if (library.empty()) {
        SetError(error, kREGDB_E_CLASSNOTREG);
        return kREGDB_E_CLASSNOTREG;
    }
    KestrelGetClassObjectFn entry = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_libraryLock);
        void*& handle = LoadedLibraries()[library];
        if (!handle) {
            handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
            if (!handle) {
                const char* why = dlerror();
                LoadedLibraries().erase(library);
                SetError(error, kCO_E_DLLNOTFOUND, why ? why : library);
                return kCO_E_DLLNOTFOUND;
            }
        }
        entry = reinterpret_cast<KestrelGetClassObjectFn>(dlsym(handle, KCOM_ENTRY_POINT));
    }
    if (!entry) {
        SetError(error, kCO_E_ERRORINDLL, library + ": no " KCOM_ENTRY_POINT);
        return kCO_E_ERRORINDLL;
    }
    std::string id(classId);
    KComObject* object = nullptr;
    HResult hr = entry(id.c_str(), &object);
    if (Failed(hr)) {
        if (object) object->vtbl->Release(object);
        SetError(error, hr);
        return hr;
    }
    if (object && (!object->vtbl || object->vtbl->abiVersion != KCOM_ABI_VERSION)) {
        // A component built against another layout: refuse it rather than call through a
        // table we cannot read. (Not released: its Release may be elsewhere in that layout.)
        SetError(error, kCO_E_ERRORINDLL, library + ": unsupported interface version");
        return kCO_E_ERRORINDLL;
    }
    out = CComRef(object);
    if (error) *error = ComError{hr, {}};
    return hr;
}

// ---------------------------------------------------------------------------------------------
// The server side

namespace {

struct ServerObject : KComObject {
    std::atomic<int> refs{1};
    std::unique_ptr<CDispatchObject> impl;
};

char16_t* CopyString(const std::u16string& s) {
    auto* p = static_cast<char16_t*>(std::malloc((s.size() + 1) * sizeof(char16_t)));
    if (!p) return nullptr;
    std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    return p;
}

void ServerAddRef(KComObject* self) {
    static_cast<ServerObject*>(self)->refs.fetch_add(1);
}

void ServerRelease(KComObject* self) {
    auto* object = static_cast<ServerObject*>(self);
    if (object->refs.fetch_sub(1) == 1) delete object;
}

KHRESULT ServerQueryInterface(KComObject* self, const char* name, KComObject** out) {
    if (!out) return kE_POINTER;
    *out = nullptr;
    if (!name) return kE_INVALIDARG;
    if (std::strcmp(name, "IUnknown") != 0 && std::strcmp(name, "IDispatch") != 0)
        return kE_NOINTERFACE;
    ServerAddRef(self);
    *out = self;
    return kS_OK;
}

KHRESULT ServerGetIDOfName(KComObject* self, const char16_t* name, std::int32_t* dispId) {
    if (!name || !dispId) return kE_POINTER;
    try {
        std::int32_t id = -1;
        if (!static_cast<ServerObject*>(self)->impl->GetIDOfName(name, id))
            return kDISP_E_UNKNOWNNAME;
        *dispId = id;
        return kS_OK;
    } catch (...) {
        return kE_FAIL;
    }
}

KHRESULT ServerInvoke(KComObject* self, std::int32_t dispId, const char16_t* const* args,
                      std::uint32_t argCount, char16_t** result, char16_t** exceptionText) {
    if (!result || !exceptionText) return kE_POINTER;
    *result = nullptr;
    *exceptionText = nullptr;
    std::u16string res, exc;
    HResult hr;
    try {
        std::vector<std::u16string> argv;
        argv.reserve(argCount);
        for (std::uint32_t i = 0; i < argCount; ++i)
            argv.emplace_back(args && args[i] ? args[i] : u"");
        hr = static_cast<ServerObject*>(self)->impl->Invoke(dispId, argv, res, exc);
    } catch (const std::bad_alloc&) {
        return kE_OUTOFMEMORY;
    } catch (const std::exception& e) {
        hr = kDISP_E_EXCEPTION;
        exc = ToUtf16(e.what());
    } catch (...) {
        hr = kDISP_E_EXCEPTION;
        exc = u"Unknown exception";
    }
    if (hr == kDISP_E_EXCEPTION) {
        *exceptionText = CopyString(exc);
    } else if (Succeeded(hr)) {
        *result = CopyString(res);
        if (!*result) return kE_OUTOFMEMORY;
    }
    return hr;
}

void ServerFreeString(char16_t* text) {
    std::free(text);
}

const KComObjectVtbl kServerVtbl = {KCOM_ABI_VERSION,     ServerAddRef,      ServerRelease,
                                    ServerQueryInterface, ServerGetIDOfName, ServerInvoke,
                                    ServerFreeString};

} // namespace

KComObject* WrapDispatchObject(std::unique_ptr<CDispatchObject> implementation) {
    if (!implementation) return nullptr;
    auto* object = new ServerObject;
    object->vtbl = &kServerVtbl;
    object->impl = std::move(implementation);
    return object;
}

} // namespace platform
