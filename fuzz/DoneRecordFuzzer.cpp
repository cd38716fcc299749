// What a destination remembers of earlier runs is read back from a folder anyone may have written
// to, so both of its parsers take any bytes here.
// - The record of done messages: the bytes as its lines, with their sum made right so that the
//   parser itself is reached. A record that parses writes out as one that parses to the same
//   text.
// - An mbox file's stamp: the bytes as its index of messages, behind the file's own size, hash,
//   identity and times, so that the index is taken without the file being read again. Whatever
//   it says, every message the file then gives streams out from inside the file, and together
//   they are never longer than it.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzFile.h"
#include "engine/DoneMessages.h"
#include "platform/Hash.h"
#include "store/sources/MboxFileSource.h"

namespace {

constexpr char kMbox[] = "From a@example.com Thu Jan  1 00:00:00 2004\n"
                         "Subject: one\n\nbody\n\n"
                         "From b@example.com Thu Jan  1 00:00:00 2004\n"
                         "Subject: two\n\n>From the second body\n";

std::int64_t Ns(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void CheckRecord(const std::string& body) {
    char sum[32];
    std::snprintf(sum, sizeof sum, "sum %016llx\n",
                  static_cast<unsigned long long>(platform::HashBytes(body)));
    CDoneMessages record;
    if (!record.Parse(body + sum)) return;
    const std::string text = record.Text();
    CDoneMessages again;
    if (!again.Parse(text) || again.Text() != text) std::abort();
}

void CheckStamp(const std::string& index) {
    const std::size_t size = sizeof kMbox - 1;
    FuzzFile file(reinterpret_cast<const std::uint8_t*>(kMbox), size);
    MboxFileSource source;
    struct stat st;
    if (!file.Ok() || !source.Open(file.Path()) || ::stat(file.Path().c_str(), &st) != 0)
        std::abort();
    platform::CWideHash64 hash;
    hash.Add(kMbox, size);
    char head[256];
    std::snprintf(head, sizeof head,
                  "mbox2 %zu %016" PRIx64 " %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64 " 1 n ",
                  size, hash.Value(), static_cast<std::uint64_t>(st.st_dev),
                  static_cast<std::uint64_t>(st.st_ino), Ns(st.st_mtim), Ns(st.st_ctim));
    std::string current;
    source.CheckStamp(head + index, current);
    std::uint64_t total = 0;
    for (int i = 0; i < source.Count(); ++i) {
        MailHeader header;
        source.ReadHeader(i, header);
        const int out = memfd_create("done-fuzz-out", MFD_CLOEXEC);
        if (out < 0) return;
        if (source.WriteText(i, out) == MailTextWrite::WriteFailed) std::abort();
        struct stat written;
        ::fstat(out, &written);
        total += static_cast<std::uint64_t>(written.st_size);
        ::close(out);
    }
    if (total > size) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckRecord(text);
    CheckStamp(text);
    return 0;
}
