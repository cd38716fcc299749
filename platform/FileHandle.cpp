#include "platform/FileHandle.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "platform/PathHelpers.h"

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool UniqueFd::Close() {
    if (m_fd < 0) return true;
    int fd = Release();
    return close(fd) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t put = write(fd, p, left);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        if (put == 0) {
            errno = EIO;
            return false;
        }
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

TempFile::~TempFile() {
    m_fd.Close();
    if (!m_path.empty() && !m_keep) unlink(m_path.c_str());
}

bool TempFile::Create(const std::string& folder, const std::string& prefix) {
    std::string templ = JoinPath(folder, prefix + "XXXXXX");
    int fd = mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) return false;
    m_fd = UniqueFd(fd);
    m_path = templ;
    return true;
}

bool TempFile::CreateInTempFolder(const std::string& prefix) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) {
        errno = ec.value();
        return false;
    }
    return Create(dir.string(), prefix);
}

} // namespace platform
