// Any bytes as an Outlook .pst/.ost file: open it, list its folders, read each folder and write
// every message of it out as MIME, headers and stamps read too. A file that opens lists at least
// one folder, parents before their children; every listed folder is either read or said to be
// unreadable; a written message always ends its MIME structure; and the stamp kept from a
// message's reading is the one a second reading of it gives.
#include <cstdlib>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzFile.h"
#include "store/PstReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    CPstFile pst;
    if (const platform::Status opened = pst.Open(file.Path()); !opened) {
        if (opened.Reason().empty()) std::abort();
        return 0;
    }
    const std::vector<PstFolder>& folders = pst.Folders();
    if (folders.empty() || folders[0].Depth != 0) std::abort();
    for (std::size_t i = 1; i < folders.size(); ++i)
        if (folders[i].Depth > folders[i - 1].Depth + 1) std::abort();
    for (const PstFolder& folder : folders) {
        if (const platform::Status selected = pst.SelectFolder(folder.Path); !selected) {
            if (selected.Reason().empty()) std::abort();
            continue;
        }
        CPstFolder fresh;
        fresh.Select(pst, folder.Path);
        for (int i = 0; i < pst.Count() && i < 64; ++i) {
            PstHeader header;
            pst.ReadHeader(i, header);
            int out = memfd_create("pst-fuzz-out", MFD_CLOEXEC);
            if (out < 0) return 0;
            if (pst.WriteMessage(i, out) == MailTextWrite::WriteFailed) std::abort();
            close(out);
            // The stamp kept from that reading is the one a fresh reading gives.
            if (fresh.Count() == pst.Count() && pst.MessageStamp(i) != fresh.MessageStamp(i))
                std::abort();
        }
    }
    return 0;
}
