#include "platform/ErrorLog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <set>

#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Paths.h"
#include "platform/ProgramFolders.h"

CErrorLog& TheErrorLog() {
    static CErrorLog log;
    return log;
}

void CErrorLog::Open(const std::string& fileName, bool keep) {
    OpenAt(platform::GetLogFolder(), fileName, keep);
}

void CErrorLog::OpenAt(const std::string& folder, const std::string& fileName, bool keep) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_enabled = true;
    m_path = platform::JoinPath(folder, fileName);
    m_title = platform::RemoveExtension(platform::FindFileName(platform::GetProgramPath()));
    if (!keep) platform::DeleteFile(m_path);
}

int CErrorLog::Write(const char* format, ...) {
    if (m_path.empty()) return 0;
    if (!m_enabled) return 1;
    if (!format) return 0;
    std::lock_guard<std::mutex> guard(m_lock);
    char buffer[kMaxMessage + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::FILE* f = std::fopen(m_path.c_str(), "a");
    if (!f) return 0;
    if (m_prefix) std::fprintf(f, "%s : ", m_title.c_str());
    if (m_timeStamp) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%m/%d/%Y %H:%M:%S", &local);
        std::fprintf(f, "%s : ", stamp);
    }
    std::fprintf(f, "%s\n", buffer);
    std::fclose(f);
    return 1;
}

namespace platform {

namespace {
std::mutex g_refusedLock;
std::set<std::string> g_refused;
std::function<void(const std::string&)> g_refusedSink;
} // namespace

void NoteRefusedFile(const std::string& path, const std::string& why,
                     const std::string& consequence) {
    std::string message = path + " " + why + ": " + consequence;
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard<std::mutex> hold(g_refusedLock);
        if (!g_refused.insert(message).second) return;
        sink = g_refusedSink;
    }
    TheErrorLog().WriteText(message);
    if (sink)
        sink(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

void SetRefusedFileSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> hold(g_refusedLock);
    g_refusedSink = std::move(sink);
}

} // namespace platform
