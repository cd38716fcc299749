#pragma once
// Open files by descriptor: an owner that closes, writing that does not stop short, and
// temporary files that go away with their owner.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Owns a file descriptor and closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    int Release();
    // False when close reports an error (data may not have reached the file); errno is kept.
    bool Close();

private:
    int m_fd = -1;
};

// Writes every byte, through short writes and interrupted calls; false (errno set) on an error.
bool WriteAll(int fd, std::string_view bytes);

// A new, empty file named prefix followed by six random characters, created exclusively in a
// folder, open for writing. It is removed when the owner goes unless kept.
class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // False (errno set) when no file could be made.
    bool Create(const std::string& folder, const std::string& prefix);
    // The same in the system's temporary folder.
    bool CreateInTempFolder(const std::string& prefix);
    int Fd() const { return m_fd.Get(); }
    const std::string& Path() const { return m_path; }
    // Done writing; false when the last data could not be flushed.
    bool CloseFile() { return m_fd.Close(); }
    // The file stays when the owner goes.
    void Keep() { m_keep = true; }

private:
    UniqueFd m_fd;
    std::string m_path;
    bool m_keep = false;
};

} // namespace platform
