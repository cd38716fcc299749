#pragma once
// Base64 as Python's email package reads it (binascii, not strict): characters outside the
// alphabet are skipped, a completed padding ends the data, and a last group of two or three
// characters still gives its one or two bytes. GMime's own decoder drops such a truncated last
// group, which loses the end of a truncated attachment.
//
// Runs of whole groups are decoded many characters at a time (a table-driven scalar loop, or
// SSSE3, AVX2 or AVX-512 when the processor has them, chosen once at run time); everything else
// (line ends, stray characters, padding, a group split across calls) goes through the
// character-by-character rules, so every path gives the same bytes.
#include <cstddef>
#include <cstdint>

namespace extractor {

enum class Base64Path { Scalar, Ssse3, Avx2, Avx512 };

class Base64Decoder {
public:
    // The fastest path this processor has.
    Base64Decoder();
    explicit Base64Decoder(Base64Path path);

    // Whether this processor can run the path.
    static bool Supported(Base64Path path);

    // Decodes in[0..n) into out (room for n * 3 / 4 + 3 bytes); returns the bytes written.
    size_t Feed(const char* in, size_t n, unsigned char* out);
    // The bytes of an unfinished last group (at most 2).
    size_t Finish(unsigned char* out);

    // Decodes whole groups of alphabet characters from in[0..n): stops before the first other
    // character or the last incomplete group. Gives the bytes written (3 per group) and, in
    // consumed, the characters used.
    using GroupDecoder = size_t (*)(const char* in, size_t n, unsigned char* out,
                                    size_t& consumed);

private:
    size_t Flush(unsigned char* out);

    GroupDecoder m_groups;
    std::uint32_t m_bits = 0;
    int m_count = 0;
    int m_pads = 0;
    bool m_done = false;
};

} // namespace extractor
