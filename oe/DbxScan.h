#pragma once
// Finds the messages of a damaged .dbx message file that its index no longer reaches. The file
// is walked once for message text blocks (a block header whose first word is its own position,
// with sane lengths); a chain that starts at a block no other block points to and whose text
// begins like mail headers is taken to be a message.
//
// Nothing in the file is trusted. The walk steps through the file in the block alignment, so
// its time is linear in the file's size; memory is a few sets of one bit per four bytes of the
// file, never texts and never lists that grow with what the file holds. A block belongs to one
// message: the chains the index reaches take their blocks first, then each chain found takes
// its blocks in file order, and a chain that enters a block already taken (or overlapping one)
// ends there. So all the messages found together are never longer than the file.
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

    // Missing or Refused when the file cannot be opened, NotRecognised when it is not a .dbx
    // message file; the reason says which ("is not a .dbx message file").
    platform::Status Open(const std::string& path);
    // Walks the file. keepGoing(done, total) is asked every few megabytes, done growing to
    // total over the whole scan; the walk stops, and Scan returns false, when it answers false.
    bool Scan(const std::function<bool(std::uint64_t done, std::uint64_t total)>& keepGoing);
    // How many chains were found.
    std::size_t StartCount() const { return m_startCount; }
    // The first block of the first chain found after position after (0: the first of all), in
    // file order; 0 when there is none.
    std::uint32_t NextStart(std::uint32_t after) const;
    // The message's "Subject" header, unfolded and as UTF-8; empty when it has none.
    std::string ReadSubject(std::uint32_t start);
    // Streams the chain's text to fd, once. Unreadable when the chain ran into something that
    // is not a block, off the file's end, or into a block taken before, and for a chain already
    // written; what was written stays.
    MailTextWrite WriteText(std::uint32_t start, int fd);

private:
    bool IsBlock(std::uint32_t position) const;
    bool LooksLikeHeaders(std::uint32_t position);
    void Reset();

    std::unique_ptr<DbxFile> m_file;
    std::string m_path;
    DbxUnitSet m_blocks;  // where a block starts
    DbxBlockClaims m_claims;
    DbxUnitSet m_starts;  // the chains found and not yet written
    DbxUnitSet m_whole;   // those of them that end where the chain ends
    DbxUnitSet m_written;
    std::size_t m_startCount = 0;
};

// True when text starts like a message's header: header lines ("Name: value", or folded
// continuations) up to one of the names every mail carries (From, Subject, Received, ...).
bool DbxTextStartsWithHeaders(const char* text, std::size_t length);
