// Any byte sequence as a damaged .dbx file: scan it for messages and save each one found. What
// must hold for any file: the chains found are distinct and in file order, each starts like a
// mail header, and no chain's text can be had twice (no message is saved twice, and a file of
// chains that share blocks costs one read, not one per chain).
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "FuzzFile.h"
#include "oe/DbxScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DbxTextStartsWithHeaders(reinterpret_cast<const char*>(data), size);
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    static int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    CDbxMessageScan scan;
    std::string why;
    if (!scan.Open(file.Path(), why)) return 0;
    if (!scan.Scan([](std::uint64_t done, std::uint64_t total) { return done <= total; }))
        std::abort();
    const std::vector<std::uint32_t>& starts = scan.Starts();
    for (std::size_t i = 0; i < starts.size(); ++i) {
        if (i > 0 && starts[i] <= starts[i - 1]) std::abort();
        if (starts[i] + std::size_t(16) > size ||
            !DbxTextStartsWithHeaders(reinterpret_cast<const char*>(data) + starts[i] + 16,
                                      std::min<std::size_t>(size - starts[i] - 16, 512)))
            std::abort();
        scan.ReadSubject(starts[i]);
        DbxTextWrite first = scan.WriteText(starts[i], devNull);
        if (first == DbxTextWrite::Written &&
            scan.WriteText(starts[i], devNull) != DbxTextWrite::BrokenChain)
            std::abort();
    }
    return 0;
}
