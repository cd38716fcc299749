#pragma once
// Base64 as Python's email package reads it (binascii, not strict): characters outside the
// alphabet are skipped, a completed padding ends the data, and a last group of two or three
// characters still gives its one or two bytes. GMime's own decoder drops such a truncated last
// group, which loses the end of a truncated attachment.
#include <cstddef>
#include <cstdint>

namespace extractor {

class Base64Decoder {
public:
    // Decodes in[0..n) into out (room for n * 3 / 4 + 3 bytes); returns the bytes written.
    size_t Feed(const char* in, size_t n, unsigned char* out);
    // The bytes of an unfinished last group (at most 2).
    size_t Finish(unsigned char* out);

private:
    size_t Flush(unsigned char* out);

    std::uint32_t m_bits = 0;
    int m_count = 0;
    int m_pads = 0;
    bool m_done = false;
};

} // namespace extractor
