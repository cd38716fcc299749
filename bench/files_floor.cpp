// The read-and-write floor of a program that writes many files:
//
//   files_floor LIST SIZES OUT
//
// reads every file named in LIST (names ending in NUL, as `find -print0` writes them) to its
// end, as `cat` would, then makes in OUT one new file for each line of SIZES, holding that many
// bytes. It parses, decodes and names nothing: what it costs is what the file system charges
// for the reading, the files and their bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kBlock = 1 << 20;

bool Fail(const std::string& what) {
    std::fprintf(stderr, "files_floor: %s: %s\n", what.c_str(), std::strerror(errno));
    return false;
}

bool ReadAll(const std::string& path, std::vector<char>& buffer) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(path);
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    ::close(fd);
    return n == 0 || Fail(path);
}

bool WriteFile(int dir, const std::string& name, long long size, const std::vector<char>& data) {
    int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(name);
    while (size > 0) {
        size_t chunk = size < static_cast<long long>(data.size()) ? static_cast<size_t>(size)
                                                                  : data.size();
        ssize_t n = ::write(fd, data.data(), chunk);
        if (n <= 0) {
            ::close(fd);
            return Fail(name);
        }
        size -= n;
    }
    return ::close(fd) == 0 || Fail(name);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: files_floor LIST SIZES OUT\n");
        return 2;
    }
    std::vector<char> buffer(kBlock);
    std::ifstream list(argv[1], std::ios::binary);
    std::string path;
    while (std::getline(list, path, '\0'))
        if (!path.empty() && !ReadAll(path, buffer)) return 1;

    int dir = ::open(argv[3], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return Fail(argv[3]) ? 0 : 1;
    std::vector<char> data(kBlock, 'k');
    std::ifstream sizes(argv[2]);
    long long size = 0;
    for (long n = 0; sizes >> size; ++n)
        if (!WriteFile(dir, "f" + std::to_string(n), size, data)) return 1;
    return 0;
}
