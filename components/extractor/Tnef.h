#pragma once
// The files inside a TNEF stream (the "winmail.dat" some mail programs send in place of
// ordinary attachments): their names, bytes and dates. Every length in the stream is checked
// against the bytes that are there before it is used; nothing is copied, the files are views
// into the stream.
#include <gmime/gmime.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace extractor {

struct TnefFile {
    std::string name;       // UTF-8 as the sender gave it, not yet cleaned for a folder
    std::string_view bytes; // inside the stream given to ReadTnef
    std::optional<std::int64_t> modified; // seconds since 1970 (UTC), when the stream has a date
    bool object = false; // stored as an object (OLE) rather than as a file's bytes
};

struct TnefContents {
    std::vector<TnefFile> files; // in the stream's order, those of attached messages included
    // The stream holds something that is no file of its own: an attached message (its text),
    // an embedded OLE object (its bytes are among the files too), an attachment that only
    // refers to a file elsewhere.
    bool moreThanFiles = false;
};

// Whether the bytes begin with the TNEF signature.
bool HasTnefSignature(std::string_view data);

// Whether a part of this type ("application", "ms-tnef") and file name is sent as TNEF; the
// content must still begin with the signature.
bool IsTnefPartType(std::string_view media, std::string_view subtype, std::string_view fileName);

// Reads the attachments of a TNEF stream, and those of the messages attached inside it (a few
// levels deep). Dates the stream gives as wall-clock time are read at utcOffset seconds east of
// UTC (the sender's offset, from the mail's Date:). False, with the reason, when the stream is
// damaged: `contents` then holds every attachment whose bytes were read completely before the
// damage, and those of attributes whose checksum does not match when their lengths are sound.
bool ReadTnef(std::string_view data, long utcOffset, TnefContents& contents, std::string& reason);

// A part's decoded content, held in an unlinked temporary file and mapped read-only, so that a
// large winmail.dat costs no heap.
class DecodedContent {
public:
    DecodedContent() = default;
    ~DecodedContent();
    DecodedContent(const DecodedContent&) = delete;
    DecodedContent& operator=(const DecodedContent&) = delete;

    // False when the content cannot be decoded or mapped (errno says why).
    bool Load(GMimePart* part);
    std::string_view Bytes() const { return {static_cast<const char*>(m_map), m_size}; }

private:
    void* m_map = nullptr;
    size_t m_size = 0;
};

} // namespace extractor
