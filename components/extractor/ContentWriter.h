#pragma once
// A part's content, decoded from its transfer encoding into a file: read from the message
// file in large blocks, decoded, written in large blocks. Memory stays a few MB whatever the
// sizes.
#include <gmime/gmime.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace extractor {

// Uuencode, line by line: lines before "begin " are skipped, each line's first character
// gives its byte count, a line shorter than its count says (trailing blanks lost in transit)
// is padded with zero bits, and a zero count or "end" ends the data.
class UuDecoder {
public:
    // Decodes in[0..n) into out (room for 32 * n + 64 bytes); returns the bytes written.
    size_t Feed(const char* in, size_t n, unsigned char* out);
    // The bytes of a last line without a line end.
    size_t Finish(unsigned char* out);

private:
    size_t Line(const char* line, size_t n, unsigned char* out);

    std::string m_partial; // the start of an unfinished line, carried to the next call
    bool m_begun = false;
    bool m_done = false;
};

// Decodes the part's content into fd (taken over and closed). False when reading or writing
// fails; errno then says why.
bool WriteContent(GMimePart* part, int fd);

class MessageFile;

// The file bytes behind the parser's range [start, end) of the message file, unchanged, into
// fd (taken over and closed).
bool WriteMessageBytes(MessageFile& file, gint64 start, gint64 end, int fd);

} // namespace extractor
