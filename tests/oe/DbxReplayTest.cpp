// Replays the fuzzers' seeds and every input a fuzzer ever found a fault with (data/fuzz), as
// the fuzzer does, and checks what must hold for any file: codes stay in their table, and the
// streamed text of an item equals the text read into memory.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "TempDir.h"
#include "oe/DbxReader.h"

namespace {

std::vector<std::string> ReplayFiles() {
    std::vector<std::string> files;
    for (const char* dir :
         {KESTREL_SOURCE_DIR "/fuzz/corpus/dbx", KESTREL_SOURCE_DIR "/tests/oe/data/fuzz"}) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir, ec))
            if (e.is_regular_file()) files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(DbxReplay, EveryKeptInputReadsConsistently) {
    std::vector<std::string> files = ReplayFiles();
    ASSERT_FALSE(files.empty());
    TempDir dir;
    int readable = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        CDbxStoreFile store;
        if (platform::Status opened = store.Open(path); !opened) {
            EXPECT_FALSE(opened.Reason().empty());
            continue;
        }
        for (int i = store.GetItemCount() - 1; i >= 0; --i) {
            std::unique_ptr<CDbxItem> bare = store.GetItem(i, 0).Take();
            platform::Result<std::unique_ptr<CDbxItem>> read = store.GetItem(i, kDbxReadText);
            EXPECT_TRUE(read || !read.GetStatus().Reason().empty());
            std::unique_ptr<CDbxItem> full = read.Take();
            if (!full || full->GetKind() != 0) continue;
            ASSERT_TRUE(bare) << i; // what reads with its text reads without it
            std::string out = dir / "text";
            int fd = open(out.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
            ASSERT_GE(fd, 0);
            EXPECT_EQ(store.WriteMessageText(static_cast<CDbxMessage&>(*bare), fd),
                      MailTextWrite::Written);
            close(fd);
            EXPECT_EQ(ReadFileText(out), static_cast<CDbxMessage&>(*full).GetMessageText());
            ++readable;
        }
    }
    EXPECT_GT(readable, 0);
}

} // namespace
