// A component library for the tests of platform/Com and of the extractor client: what a
// component may answer, good and bad. Its behaviour for the extractor's class id is chosen by
// $KESTREL_TEST_COMPONENT_MODE.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Com.h"

namespace {

using namespace platform;

// Methods: Echo (the arguments joined with ","), Fail (an automation exception with the first
// argument as its text), ExtractToFolder2 / ExtractToFolder (the arguments, for the client).
class CEcho : public CDispatchObject {
public:
    bool GetIDOfName(std::u16string_view name, std::int32_t& id) override {
        std::string n = FromUtf16(name);
        for (auto& c : n)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (n == "echo")
            id = 1;
        else if (n == "fail")
            id = 2;
        else if (n == "extracttofolder2")
            id = 3;
        else if (n == "extracttofolder")
            id = 4;
        else if (n == "throwstd")
            id = 5;
        else
            return false;
        return true;
    }
    HResult Invoke(std::int32_t id, const std::vector<std::u16string>& args, std::u16string& result,
                   std::u16string& exception) override {
        switch (id) {
        case 1:
            for (size_t i = 0; i < args.size(); ++i)
                result += (i ? u"," : u"") + args[i];
            return kS_OK;
        case 2:
            exception = args.empty() ? u"failed" : args[0];
            return kDISP_E_EXCEPTION;
        case 3:
        case 4: {
            if (args.size() != 3) return kDISP_E_BADPARAMCOUNT;
            const char* mode = std::getenv("KESTREL_TEST_COMPONENT_MODE");
            std::string m = mode ? mode : "";
            if (m == "exception") {
                exception = ToUtf16(std::string(300, 'x') + "END");
                return kDISP_E_EXCEPTION;
            }
            if (m == "fail-invoke") return kE_FAIL;
            result = (id == 3 ? u"2:" : u"1:") + args[0] + u"|" + args[1] + u"|" + args[2];
            return kS_OK;
        }
        case 5:
            throw std::runtime_error("thrown inside");
        }
        return kDISP_E_MEMBERNOTFOUND;
    }
};

// An object that answers IUnknown but gives no IDispatch (or success without one).
struct NoDispatch : KComObject {
    bool nullOnSuccess = false;
};

void NdAddRef(KComObject*) {}
void NdRelease(KComObject* self) {
    delete static_cast<NoDispatch*>(self);
}
KHRESULT NdQuery(KComObject* self, const char* name, KComObject** out) {
    *out = nullptr;
    if (std::strcmp(name, "IDispatch") == 0)
        return static_cast<NoDispatch*>(self)->nullOnSuccess ? kS_OK : kE_NOINTERFACE;
    return kE_NOINTERFACE;
}
KHRESULT NdGetId(KComObject*, const char16_t*, std::int32_t*) {
    return kE_NOINTERFACE;
}
KHRESULT NdInvoke(KComObject*, std::int32_t, const char16_t* const*, std::uint32_t, char16_t**,
                  char16_t**) {
    return kE_NOINTERFACE;
}
void NdFree(char16_t* p) {
    std::free(p);
}
const KComObjectVtbl kNoDispatchVtbl = {KCOM_ABI_VERSION, NdAddRef, NdRelease, NdQuery,
                                        NdGetId,          NdInvoke, NdFree};

KComObject* MakeNoDispatch(bool nullOnSuccess) {
    auto* o = new NoDispatch;
    o->vtbl = &kNoDispatchVtbl;
    o->nullOnSuccess = nullOnSuccess;
    return o;
}

} // namespace

extern "C" __attribute__((visibility("default"))) KHRESULT
KestrelGetClassObject(const char* classId, KComObject** out) {
    *out = nullptr;
    std::string id = classId;
    if (id == "{00000000-0000-0000-0000-0000000000E1}" ||
        id == "{AF511F6D-19DF-4044-AF92-9761FA9182E8}") {
        const char* mode = std::getenv("KESTREL_TEST_COMPONENT_MODE");
        std::string m = mode ? mode : "";
        if (id[1] == 'A') {
            if (m == "create-fails") return kE_OUTOFMEMORY;
            if (m == "create-unknown-code") return static_cast<KHRESULT>(0x80001234);
            if (m == "null-unknown") return kS_OK;
            if (m == "no-dispatch") return (*out = MakeNoDispatch(false)), kS_OK;
            if (m == "null-dispatch") return (*out = MakeNoDispatch(true)), kS_OK;
        }
        *out = WrapDispatchObject(std::make_unique<CEcho>());
        return kS_OK;
    }
    if (id == "{00000000-0000-0000-0000-0000000000E2}") return kS_OK; // success, no object
    if (id == "{00000000-0000-0000-0000-0000000000E3}")
        return (*out = MakeNoDispatch(false)), kS_OK;
    return kCLASS_E_CLASSNOTAVAILABLE;
}
