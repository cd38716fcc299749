// Any byte sequence as an mbox file: index it, then stream every message and read its header.
// Messages lie in file order and never overlap, so together they can never be longer than the
// file; a file that is read whole is never said to be unreadable. The same bytes as a file that
// grew from a part of them (cut where the first byte says) index as the whole does when read on
// from the part's index.
#include <cstdlib>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzFile.h"
#include "store/MboxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    CMboxReader reader;
    if (!reader.Open(file.Path())) std::abort();
    std::uint64_t total = 0;
    for (int i = 0; i < reader.Count(); ++i) {
        if (i > 0 && reader.Offset(i) <= reader.Offset(i - 1)) std::abort();
        int out = memfd_create("mbox-fuzz-out", MFD_CLOEXEC);
        if (out < 0) return 0;
        MailTextWrite written = reader.WriteMessage(i, out);
        if (written == MailTextWrite::Unreadable || written == MailTextWrite::WriteFailed)
            std::abort();
        if (written == MailTextWrite::Cut && i != reader.Count() - 1) std::abort();
        struct stat st;
        fstat(out, &st);
        total += static_cast<std::uint64_t>(st.st_size);
        close(out);
        std::string block;
        if (!reader.ReadHeaderBlock(i, 4096, block) || block.size() > 4096) std::abort();
    }
    if (total > size) std::abort();
    std::string none;
    if (reader.ReadHeaderBlock(reader.Count(), 16, none)) std::abort();

    const std::size_t cut = size == 0 ? 0 : size * data[0] / 256;
    FuzzFile part(data, cut);
    CMboxReader before, after;
    if (!part.Ok() || !before.Open(part.Path()) || !after.Open(file.Path(), false)) std::abort();
    if (!after.IndexFrom(before.Index(), cut) || after.Index() != reader.Index()) std::abort();
    return 0;
}
