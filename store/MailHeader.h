#pragma once
// What a mailbox keeps about a message outside its text, and the rules that read it out of a
// message's header lines, for the kinds of mailbox that keep the fields only there.
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>

struct MailHeader {
    std::string Subject;
    std::string Sender;     // the address
    std::string SenderName; // the name shown for the sender
    std::optional<std::time_t> Time;
    // False when the mailbox lists the message without any text.
    bool HasText = true;
};

// Enough for any header block a mail program writes; the body is never read.
inline constexpr std::size_t kMailHeaderLimit = 256 * 1024;

// Subject, sender (the address, and the name shown for it: "Name <address>", "address (Name)"
// or a bare address) and date from the header lines, up to the first empty line; folded lines
// are unfolded, encoded words decoded. Fields already filled in header are kept.
void ParseMailHeaderBlock(const std::string& block, MailHeader& header);

// The header fields of a message kept as a file of its own. False when the file cannot be read.
bool ReadMailFileHeader(const std::string& path, MailHeader& header);

// The mail's wall-clock time from its date text ("Tue, 15 Nov 1994 08:12:31 +0000"): the 20
// characters from offset 5, read as local time, no zone conversion.
std::optional<std::time_t> ParseMailDate(const std::string& dateText);
