// Makes .dbx files with the test writer, for the benchmark and the fuzzers' seeds.
//   make-test-dbx FILE --size BYTES [--message-size BYTES]   a message file of about that size
//   make-test-dbx --seeds DIR                                   small sound and broken files
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DbxWriter.h"

namespace {

DbxTestMessage MakeMessage(std::uint64_t n, std::size_t size) {
    DbxTestMessage m;
    m.subject = "Benchmark message " + std::to_string(n);
    m.sender = "sender" + std::to_string(n % 97) + "@example.org";
    m.senderName = "Sender " + std::to_string(n % 97);
    m.date = FileTimeFromUnix(1000000000 + static_cast<std::int64_t>(n) * 600);
    m.text = "From: " + m.senderName + " <" + m.sender + ">\r\nSubject: " + m.subject +
             "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n";
    std::string line = "The quick brown fox jumps over the lazy dog " + std::to_string(n) + ".\r\n";
    while (m.text.size() + line.size() <= size)
        m.text += line;
    return m;
}

int MakeSeeds(const std::string& dir) {
    auto save = [&](const char* name, const std::string& bytes) {
        return WriteBytes(dir + "/" + name, bytes);
    };
    std::vector<DbxTestMessage> messages;
    for (int i = 0; i < 4; ++i)
        messages.push_back(MakeMessage(i, 120 + 60 * i));
    DbxWriterOptions small;
    small.blockTextSize = 64;
    small.entriesPerNode = 2;
    bool ok = save("messages.dbx", BuildDbxMessageFile(messages, small));
    DbxWriterOptions o = small;
    o.textPositionInValues = true;
    ok &= save("positions-in-values.dbx", BuildDbxMessageFile(messages, o));
    ok &=
        save("folders.dbx",
             BuildDbxFolderFile({{"Inbox", "Inbox.dbx", 1, 2}, {"Sent", "Sent.dbx", 3, 4}}, small));
    ok &= save("empty.dbx", BuildDbxMessageFile({}, small));
    o = small, o.treeLoop = true, o.itemCountDelta = 2;
    ok &= save("tree-loop.dbx", BuildDbxMessageFile(messages, o));
    o = small, o.chainLoopMessage = 1;
    ok &= save("chain-loop.dbx", BuildDbxMessageFile(messages, o));
    o = small, o.unterminatedSubjectMessage = 2;
    ok &= save("unterminated.dbx", BuildDbxMessageFile(messages, o));
    o = small, o.itemCountDelta = -1;
    ok &= save("long-tree.dbx", BuildDbxMessageFile(messages, o));
    // Damaged as recovery meets them: the index lost, or lost one message, and a text chain
    // that runs off the end.
    o = small, o.overrideIndexPointer = true, o.chainOutsideMessage = 2;
    ok &= save("no-index.dbx", BuildDbxMessageFile(messages, o));
    o = small, o.unindexedMessage = 1;
    ok &= save("lost-message.dbx", BuildDbxMessageFile(messages, o));
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--seeds") == 0) return MakeSeeds(argv[2]);
    if (argc < 4 || std::strcmp(argv[2], "--size") != 0) {
        std::fprintf(stderr, "usage: make-test-dbx FILE --size BYTES [--message-size BYTES]\n"
                             "       make-test-dbx --seeds DIR\n");
        return 2;
    }
    std::uint64_t total = std::strtoull(argv[3], nullptr, 10);
    std::size_t messageSize = 64 * 1024;
    if (argc >= 6 && std::strcmp(argv[4], "--message-size") == 0)
        messageSize = std::strtoull(argv[5], nullptr, 10);
    std::FILE* out = std::fopen(argv[1], "wb+");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    CDbxWriter writer(out, false);
    std::uint64_t written = 0;
    for (std::uint64_t n = 0; written < total; ++n) {
        DbxTestMessage m = MakeMessage(n, messageSize);
        written += m.text.size() + m.text.size() / 0x1F0 * 16 + 200;
        writer.AddMessage(m);
    }
    bool ok = writer.Finish();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
