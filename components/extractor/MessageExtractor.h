#pragma once
// One message through GMime: its subject, sender and date, and every attachment written into
// a folder. The component's two methods are thin wrappers around ExtractMessage.
#include <memory>
#include <string>
#include <vector>

#include "components/extractor/ExtractError.h"
#include "components/extractor/ReadAhead.h"
#include "platform/UnwrittenFiles.h"

namespace extractor {

struct ExtractedMessage {
    std::string subject; // UTF-8, decoded (RFC 2047), cleaned by CleanFieldText
    std::string sender;  // the From: addresses as text, cleaned alike
    std::string date;    // "Tue, 15 Nov 1994 08:12:31 +0000", or empty without a usable Date:
    std::vector<std::string> files; // names written into the folder, in the message's order
    platform::UnwrittenFiles unwritten; // files that could not be written, and why
};

// Writes every attachment of the message file into the folder (which must exist) and answers
// what it found. Throws ExtractError when the message file or the folder cannot be opened.
// A file that cannot be written is left out of the list (and nothing of it stays behind) and
// counted in `unwritten`. With a preparer, a parse it made of the same file is used.
ExtractedMessage ExtractMessage(const std::string& messagePath, const std::string& folder,
                                MessagePreparer* ahead = nullptr);

// The answers of the two methods: "subject|sender|date|name1:name2" (three fields when no file
// was written, so the caller sees "no file"), and "name1:name2". Files that could not be
// written add "/unwritten/N/E" as the list's last entry (platform/UnwrittenFiles.h).
std::string FormatExtractToFolder2(const ExtractedMessage& message);
std::string FormatExtractToFolder(const ExtractedMessage& message);

// The RFC 822 form with the day name, the sender's wall-clock time and offset, from a date as
// GMime parses it (year, month 1-12, day, hour, minute, second, day of week 1 = Monday,
// offset in seconds east of UTC). Empty when a value is out of range.
std::string FormatRfc822Date(int year, int month, int day, int hour, int minute, int second,
                             int dayOfWeek, long offsetSeconds);

} // namespace extractor
