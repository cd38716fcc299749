#pragma once
// The readers under test take a path, so each input becomes an in-memory file first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class FuzzFile {
public:
    FuzzFile(const std::uint8_t* data, std::size_t size) {
        m_fd = memfd_create("kestrel-fuzz", MFD_CLOEXEC);
        if (m_fd < 0) return;
        std::size_t done = 0;
        while (done < size) {
            ssize_t put = write(m_fd, data + done, size - done);
            if (put <= 0) break;
            done += static_cast<std::size_t>(put);
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
