#pragma once
// The readers under test take a path, so each input becomes an in-memory file first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/FileHandle.h"

class FuzzFile {
public:
    FuzzFile(const std::uint8_t* data, std::size_t size) {
        m_fd = memfd_create("kestrel-fuzz", MFD_CLOEXEC);
        if (m_fd < 0) return;
        if (m_fd >= 0 && !platform::WriteAll(
                             m_fd, std::string_view(reinterpret_cast<const char*>(data), size))) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~FuzzFile() {
        if (m_fd >= 0) close(m_fd);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    bool Ok() const { return m_fd >= 0; }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    int m_fd = -1;
};
