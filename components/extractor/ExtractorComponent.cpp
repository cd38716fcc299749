// The attachment extractor component: class {AF511F6D-19DF-4044-AF92-9761FA9182E8}
// with the dispatch methods ExtractToFolder2 and ExtractToFolder, each taking the message
// file's path, the destination folder and an (unused) empty string, and PrepareMessage, which
// takes the path of the message file the next call will name (and two unused strings) and
// reads it ahead on a second core.
#include <strings.h>

#include "components/extractor/MessageExtractor.h"
#include "platform/Com.h"

namespace {

constexpr const char* kClassId = "{AF511F6D-19DF-4044-AF92-9761FA9182E8}";

enum DispId : std::int32_t { kExtractToFolder = 1, kExtractToFolder2 = 2, kPrepareMessage = 3 };

class CAttachmentExtractor : public platform::CDispatchObject {
public:
    bool GetIDOfName(std::u16string_view name, std::int32_t& dispId) override {
        std::string n = platform::FromUtf16(name);
        if (strcasecmp(n.c_str(), "ExtractToFolder") == 0)
            dispId = kExtractToFolder;
        else if (strcasecmp(n.c_str(), "ExtractToFolder2") == 0)
            dispId = kExtractToFolder2;
        else if (strcasecmp(n.c_str(), "PrepareMessage") == 0)
            dispId = kPrepareMessage;
        else
            return false;
        return true;
    }

    platform::HResult Invoke(std::int32_t dispId, const std::vector<std::u16string>& args,
                             std::u16string& result, std::u16string& exceptionText) override {
        if (dispId != kExtractToFolder && dispId != kExtractToFolder2 && dispId != kPrepareMessage)
            return platform::kDISP_E_MEMBERNOTFOUND;
        if (args.size() != 3) return platform::kDISP_E_BADPARAMCOUNT;
        if (dispId == kPrepareMessage) {
            m_ahead.Prepare(platform::FromUtf16(args[0]));
            result.clear();
            return platform::kS_OK;
        }
        try {
            extractor::ExtractedMessage message = extractor::ExtractMessage(
                platform::FromUtf16(args[0]), platform::FromUtf16(args[1]), &m_ahead);
            result = platform::ToUtf16(dispId == kExtractToFolder2
                                           ? extractor::FormatExtractToFolder2(message)
                                           : extractor::FormatExtractToFolder(message));
            return platform::kS_OK;
        } catch (const extractor::ExtractError& e) {
            exceptionText = platform::ToUtf16(e.what());
            return platform::kDISP_E_EXCEPTION;
        }
    }

private:
    extractor::MessagePreparer m_ahead;
};

} // namespace

extern "C" __attribute__((visibility("default"))) KHRESULT
KestrelGetClassObject(const char* classId, KComObject** out) {
    if (!out) return platform::kE_POINTER;
    *out = nullptr;
    if (!classId || strcasecmp(classId, kClassId) != 0) return platform::kCLASS_E_CLASSNOTAVAILABLE;
    try {
        *out = platform::WrapDispatchObject(std::make_unique<CAttachmentExtractor>());
    } catch (...) {
        return platform::kE_OUTOFMEMORY;
    }
    return platform::kS_OK;
}
