#include "engine/ExtractorClient.h"

#include <cstdio>
#include <vector>

#include "platform/Com.h"
#include "platform/ErrorLog.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"

namespace {

// At most 255 characters of the exception's message, cut on a character boundary.
std::string CutMessage(const std::string& text) {
    size_t chars = 0, i = 0;
    while (i < text.size() && chars < 255) {
        auto b = static_cast<unsigned char>(text[i]);
        size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        i = std::min(text.size(), i + len);
        ++chars;
    }
    return text.substr(0, i);
}

} // namespace

struct CExtractorClient::Impl {
    platform::CComRef unknown;
    platform::CComRef dispatch;
    std::function<void(const std::string&)> log;
    // PrepareMessage's dispatch id: 0 not yet asked, -1 the component has no such method.
    std::int32_t prepareId = 0;

    std::string Call(const char* method, const std::string& messagePath,
                     const std::string& destFolder) {
        if (!dispatch) return {};
        std::int32_t id = 0;
        if (platform::Failed(dispatch.GetIDOfName(platform::ToUtf16(method), id))) return {};
        std::vector<std::u16string> args{platform::ToUtf16(messagePath),
                                         platform::ToUtf16(destFolder), std::u16string()};
        std::u16string result, exception;
        bool hasResult = false;
        platform::HResult hr = dispatch.Invoke(id, args, result, hasResult, exception);
        if (hr == platform::kDISP_E_EXCEPTION) {
            std::string text = "OleException: " + CutMessage(platform::FromUtf16(exception));
            if (log)
                log(text);
            else
                TheErrorLog().WriteText(text);
            return {};
        }
        if (platform::Failed(hr) || !hasResult) return {};
        return platform::FromUtf16(result);
    }
};

CExtractorClient::CExtractorClient() : m_impl(std::make_unique<Impl>()) {}

CExtractorClient::~CExtractorClient() = default;

bool CExtractorClient::Create(IMessageBox* ui) {
    m_impl->prepareId = 0;
    m_impl->dispatch.Reset();
    m_impl->unknown.Reset();
    platform::ComError error;
    platform::HResult hr = platform::CreateInstance(kExtractorClassId, m_impl->unknown, &error);
    if (platform::Failed(hr)) {
        if (error.text.empty())
            std::fprintf(stderr, "Unknown error!\n");
        else
            std::fprintf(stderr, "Error: %s\n", error.text.c_str());
        return false;
    }
    if (!m_impl->unknown) {
        if (ui) ui->ShowMessage("Unknown error getting the IUnknown interface.\n");
        return false;
    }
    hr = m_impl->unknown.QueryInterface("IDispatch", m_impl->dispatch);
    if (platform::Failed(hr)) {
        std::string text = platform::HResultText(hr);
        if (text.empty())
            std::fprintf(stderr, "Unknown error!\n");
        else
            std::fprintf(stderr, "Error: %s\n", text.c_str());
        m_impl->unknown.Reset();
        return false;
    }
    if (!m_impl->dispatch) {
        if (ui) ui->ShowMessage("Unknown error getting the IDispatch interface.\n");
        m_impl->unknown.Reset();
        return false;
    }
    return true;
}

bool CExtractorClient::IsCreated() const {
    return static_cast<bool>(m_impl->dispatch);
}

void CExtractorClient::SetErrorLogger(std::function<void(const std::string&)> log) {
    m_impl->log = std::move(log);
}

std::string CExtractorClient::ExtractToFolder2(const std::string& messagePath,
                                               const std::string& destFolder) {
    return m_impl->Call("ExtractToFolder2", messagePath, destFolder);
}

std::string CExtractorClient::ExtractToFolder(const std::string& messagePath,
                                              const std::string& destFolder) {
    return m_impl->Call("ExtractToFolder", messagePath, destFolder);
}

void CExtractorClient::PrepareMessage(const std::string& messagePath) {
    if (!m_impl->dispatch || m_impl->prepareId < 0 || messagePath.empty()) return;
    if (m_impl->prepareId == 0 &&
        platform::Failed(m_impl->dispatch.GetIDOfName(u"PrepareMessage", m_impl->prepareId))) {
        m_impl->prepareId = -1;
        return;
    }
    std::vector<std::u16string> args{platform::ToUtf16(messagePath), std::u16string(),
                                     std::u16string()};
    std::u16string result, exception;
    bool hasResult = false;
    m_impl->dispatch.Invoke(m_impl->prepareId, args, result, hasResult, exception);
}

bool CallComponentGuarded(const std::function<void()>& call, const std::string& messagePath) {
    try {
        RunGuarded(call);
        return true;
    } catch (const CSeException& e) {
        TheErrorLog().Write("SeException: %s", e.GetDescription().c_str());
    } catch (const std::exception& e) {
        TheErrorLog().Write("Exception: %s (%s)", e.what(), messagePath.c_str());
    }
    return false;
}
