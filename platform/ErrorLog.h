#pragma once
// The program's append-only error log, "errorlog.txt" beside the program, or in the user's state
// folder when the program is installed (platform::GetLogFolder).
#include <functional>
#include <mutex>
#include <string>

class CErrorLog {
public:
    static constexpr size_t kMaxMessage = 2999;

    // The log path becomes the log folder + "/" + fileName; without keep the file is deleted
    // first.
    void Open(const std::string& fileName, bool keep);
    // As Open, with the folder given (tests, and callers that keep the log elsewhere).
    void OpenAt(const std::string& folder, const std::string& fileName, bool keep);
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    void SetTimeStamp(bool on) { m_timeStamp = on; }
    void SetProgramPrefix(bool on) { m_prefix = on; }
    const std::string& GetPath() const { return m_path; }

    // printf-style. 0 when there is no path or the file cannot be written, 1 otherwise (also
    // when disabled, without writing).
    int Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The message as it stands, no formatting.
    int WriteText(const std::string& message) { return Write("%s", message.c_str()); }

private:
    std::mutex m_lock;
    std::string m_title;
    std::string m_path;
    bool m_enabled = false;
    bool m_timeStamp = false;
    bool m_prefix = false;
};

// The one log of the process.
CErrorLog& TheErrorLog();

namespace platform {

// Tells the user, once per message, that an input file was refused or an output file could not
// be written: "<path> <why>: <consequence>". The line goes to the log when it is open, and to
// the standard error unless the program has set a sink of its own (a window, a test).
void NoteRefusedFile(const std::string& path, const std::string& why,
                     const std::string& consequence);
void SetRefusedFileSink(std::function<void(const std::string& message)> sink);

} // namespace platform
