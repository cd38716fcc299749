// Any byte sequence as a damaged .dbx file: scan it for messages and save each one found. What
// must hold for any file: the chains found are distinct and in file order, each starts like a
// mail header, no chain's text can be had twice, and all the texts found together are never
// longer than the file (a file of chains that share or overlap blocks costs one read, not one
// per chain).
#include <algorithm>
#include <cstdlib>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzFile.h"
#include "oe/DbxScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DbxTextStartsWithHeaders(reinterpret_cast<const char*>(data), size);
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    static int out = memfd_create("kestrel-fuzz-out", MFD_CLOEXEC);
    if (out < 0 || ftruncate(out, 0) != 0 || lseek(out, 0, SEEK_SET) != 0) return 0;
    CDbxMessageScan scan;
    if (!scan.Open(file.Path())) return 0;
    if (!scan.Scan([](std::uint64_t done, std::uint64_t total) { return done <= total; }))
        std::abort();
    std::size_t count = 0;
    for (std::uint32_t start = scan.NextStart(0), before = 0; start != 0;
         before = start, start = scan.NextStart(start), ++count) {
        if (start <= before) std::abort();
        if (start + std::size_t(16) > size ||
            !DbxTextStartsWithHeaders(reinterpret_cast<const char*>(data) + start + 16,
                                      std::min<std::size_t>(size - start - 16, 512)))
            std::abort();
        scan.ReadSubject(start);
        if (scan.WriteText(start, out) == MailTextWrite::WriteFailed ||
            scan.WriteText(start, out) != MailTextWrite::Unreadable)
            std::abort();
    }
    struct stat st;
    if (count != scan.StartCount() || fstat(out, &st) != 0 ||
        static_cast<std::uint64_t>(st.st_size) > size)
        std::abort();
    return 0;
}
