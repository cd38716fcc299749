#pragma once
// An mbox file: one mail folder in one file, every message after a "From " line. The file is
// read in one streaming pass that notes where each message lies, and a message's text is
// streamed out again on demand, so a file of any size costs the same memory (the index holds
// three offsets a message). A file that only grew since it was indexed is read on from where its
// last known message starts (IndexFrom).
//
// The rules, for files of every writer we know of:
// - A separator is a line that begins "From " and goes on like an envelope line: a sender, then
//   a date with a month name, a time and a four-digit year ("From a@b.org Thu Jan  1 00:00:00
//   2004"). The file's first line is a separator when it begins "From " at all. A body line
//   that begins "From " but reads like text ("From here on ...") is kept in its message: a
//   writer that did not quote it meant it as text, and cutting there would lose the rest of
//   the message. Content-Length fields are not used: writers and tools that edit mbox files
//   leave them wrong too often.
// - Quoting: a line that begins with one or more ">" followed by "From " loses one ">". This is
//   the exact reverse of the writers that quote every such line, and for the writers that only
//   quote lines beginning "From " it gives back every line they quoted; it cannot tell their
//   quoted "From " lines from their unquoted ">From " ones, and no reader can. Base64 content
//   never holds "From ", so no attachment depends on the choice.
// - The line break that a writer puts after each message (the empty line before the next
//   separator, or at the end of the file) is not part of the message. Line ends are kept as they
//   are (LF or CRLF); a file whose lines end in CR alone (its first line break tells) is read
//   by those, and its messages are given with LF.
// - Blank lines before the first separator are passed over. Other text before it is a message
//   of its own, so nothing of a file that lost its start is dropped.
// - The last message is cut short when the file stops inside its structure: a multipart message
//   without its closing boundary line, or a body shorter than its Content-Length field. It is
//   still given as far as it goes, and said to be incomplete. A last line without a line break
//   is the normal end of many files and cuts nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileHandle.h"
#include "platform/MailTextWrite.h"
#include "platform/Status.h"

namespace platform {
class CWideHash64;
}


class CMboxReader {
public:
    // Where a message lies in the file.
    struct Bounds {
        std::uint64_t from;  // the separator line, or the text for text before the first one
        std::uint64_t begin; // the text
        std::uint64_t end;   // one past the text
        bool operator==(const Bounds& o) const {
            return from == o.from && begin == o.begin && end == o.end;
        }
    };

    // Opens and indexes the file. Missing (with no reason) when there is no such file, Refused
    // for a fifo or a device, Unreadable when a read fails; the reason says what. With index
    // false the file is only opened, and holds no messages until IndexFrom or Adopt.
    platform::Status Open(const std::string& path, bool index = true);
    void Close();
    // Indexes the opened file, taking known as an index of its first knownSize bytes made before
    // (the file may have grown since): the messages before the last of them stand, and the file
    // is read on from where that one starts, for its end depends on what follows it. hash, when
    // given, holds the file's first hash->Length() bytes (at least up to where reading starts) and
    // is given the rest as it is read. False when the file could not be read to its end: the
    // messages found stand, the one being read when it failed is given as unreadable; also when
    // known does not fit the file (nothing is then indexed).
    bool IndexFrom(const std::vector<Bounds>& known, std::uint64_t knownSize,
                   platform::CWideHash64* hash = nullptr);
    // Takes known as the index of the whole file as it is, without reading it: false, and no
    // messages, when it does not fit the file's size.
    bool Adopt(const std::vector<Bounds>& known);
    const std::vector<Bounds>& Index() const { return m_messages; }
    // The file's size and line end when it was indexed; its descriptor.
    std::uint64_t Size() const { return m_size; }
    char LineEnd() const { return m_lineEnd; }
    int Descriptor() const { return m_fd.Get(); }
    int Count() const { return static_cast<int>(m_messages.size()); }
    // Where the message's "From " line (or, for text before the first one, its text) starts.
    std::uint64_t Offset(int index) const;
    // One past the message's text.
    std::uint64_t End(int index) const { return Valid(index) ? m_messages[index].end : 0; }
    // The message's text, unquoted, to fd: Cut when the file ends inside the message's
    // structure, Unreadable when the file could not be read (or shrank since it was indexed).
    MailTextWrite WriteMessage(int index, int fd);
    // The message's header lines up to the empty line that ends them (or limit bytes),
    // unquoted. False when the file cannot be read.
    bool ReadHeaderBlock(int index, std::size_t limit, std::string& block);

    // True when the file begins like an mbox file: "From " on its first line that is not blank.
    static bool LooksLikeMbox(const std::string& path);
    // The envelope rule above, for one line (with or without its line end).
    static bool IsEnvelopeLine(const char* line, std::size_t size);

private:
    using Message = Bounds;
    // The file's size and line end, as indexing needs them.
    bool Prepare();
    bool Fits(const std::vector<Bounds>& known) const;
    bool Scan(std::uint64_t from, platform::CWideHash64* hash);
    bool Valid(int index) const { return index >= 0 && index < Count(); }
    void AppendLine(const char* data, std::size_t size, bool lineStart, std::string& out) const;

    platform::UniqueFd m_fd;
    std::vector<Message> m_messages;
    char m_lineEnd = '\n'; // CR for a file whose lines end in CR alone
    std::uint64_t m_size = 0;
};
