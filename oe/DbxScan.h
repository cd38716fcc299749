#pragma once
// Finds the messages of a damaged .dbx message file that its index no longer reaches. The file
// is walked once for message text blocks (a block header whose first word is its own position,
// with sane lengths); a chain that starts at a block no other block points to and whose text
// begins like mail headers is taken to be a message.
//
// Nothing in the file is trusted. The walk steps through the file in the block alignment, so
// its time is linear in the file's size; memory is two lists of block positions, never texts.
// Following the chains marks every block it passes, and a chain that comes to a block already
// passed (a loop, or a second chain running into the first) is broken, so all the chains
// together cost no more than one read of the file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oe/DbxReader.h"

class CDbxMessageScan {
public:
    CDbxMessageScan();
    ~CDbxMessageScan();
    CDbxMessageScan(const CDbxMessageScan&) = delete;
    CDbxMessageScan& operator=(const CDbxMessageScan&) = delete;

    // False when the file cannot be opened or is not a .dbx message file; why says which.
    bool Open(const std::string& path, std::string& why);
    // Walks the file. keepGoing(done, total) is asked every few megabytes, done growing to
    // total over the whole scan; the walk stops, and Scan returns false, when it answers false.
    bool Scan(const std::function<bool(std::uint64_t done, std::uint64_t total)>& keepGoing);
    // The first block of each chain found, in file order.
    const std::vector<std::uint32_t>& Starts() const { return m_starts; }
    // The message's "Subject" header, unfolded and as UTF-8; empty when it has none.
    std::string ReadSubject(std::uint32_t start);
    // Streams the chain's text to fd. BrokenChain when the chain runs into something that is
    // not a block, off the file's end, or into a block already passed; what was written stays.
    DbxTextWrite WriteText(std::uint32_t start, int fd);

private:
    // The position's place in m_blocks, or -1 when it holds no block.
    std::ptrdiff_t FindBlock(std::uint32_t position) const;
    bool LooksLikeHeaders(std::uint32_t position);

    std::unique_ptr<DbxFile> m_file;
    std::vector<std::uint32_t> m_blocks; // ascending
    std::vector<bool> m_passed;          // by place in m_blocks
    std::vector<std::uint32_t> m_starts;
};

// True when text starts like a message's header: header lines ("Name: value", or folded
// continuations) up to one of the names every mail carries (From, Subject, Received, ...).
bool DbxTextStartsWithHeaders(const char* text, std::size_t length);
