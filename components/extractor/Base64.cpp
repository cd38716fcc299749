#include "components/extractor/Base64.h"

#include <array>
#include <cstring>
#include <immintrin.h>

namespace extractor {

namespace {

constexpr std::array<std::int8_t, 256> MakeRanks() {
    std::array<std::int8_t, 256> ranks{};
    for (auto& r : ranks)
        r = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        ranks[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    return ranks;
}
constexpr std::array<std::int8_t, 256> kRanks = MakeRanks();

// A character's value already shifted into its place in the group's 24 bits; bit 31 marks a
// character outside the alphabet, so one OR of four lookups decodes and checks a group.
constexpr std::array<std::uint32_t, 256> MakeShifted(int shift) {
    std::array<std::uint32_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = kRanks[c] < 0 ? 0x80000000u : static_cast<std::uint32_t>(kRanks[c]) << shift;
    return table;
}
constexpr std::array<std::uint32_t, 256> kShift18 = MakeShifted(18);
constexpr std::array<std::uint32_t, 256> kShift12 = MakeShifted(12);
constexpr std::array<std::uint32_t, 256> kShift6 = MakeShifted(6);
constexpr std::array<std::uint32_t, 256> kShift0 = MakeShifted(0);

inline std::uint32_t GroupBits(const unsigned char* p) {
    return kShift18[p[0]] | kShift12[p[1]] | kShift6[p[2]] | kShift0[p[3]];
}

inline bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// Line ends between whole groups are skipped here (they are outside the alphabet, and the
// state of the decoding is the same before and after them); any other character outside the
// alphabet ends the run.
size_t GroupsScalar(const char* in, size_t n, unsigned char* out, size_t& consumed) {
    auto* p = reinterpret_cast<const unsigned char*>(in);
    size_t i = 0, o = 0;
    while (i + 4 <= n) {
        if (i + 8 <= n) {
            std::uint32_t a = GroupBits(p + i), b = GroupBits(p + i + 4);
            if (((a | b) & 0x80000000u) == 0) {
                out[o] = static_cast<unsigned char>(a >> 16);
                out[o + 1] = static_cast<unsigned char>(a >> 8);
                out[o + 2] = static_cast<unsigned char>(a);
                out[o + 3] = static_cast<unsigned char>(b >> 16);
                out[o + 4] = static_cast<unsigned char>(b >> 8);
                out[o + 5] = static_cast<unsigned char>(b);
                i += 8;
                o += 6;
                continue;
            }
        }
        std::uint32_t a = GroupBits(p + i);
        if (a & 0x80000000u) {
            if (!IsLineEnd(in[i])) break;
            ++i;
            continue;
        }
        out[o] = static_cast<unsigned char>(a >> 16);
        out[o + 1] = static_cast<unsigned char>(a >> 8);
        out[o + 2] = static_cast<unsigned char>(a);
        i += 4;
        o += 3;
    }
    consumed = i;
    return o;
}

// After a vector step whose first bad character is at `bad`: keeps the whole groups before it
// and skips the line ends there. False when the run ends (another character, or a group split
// by the bad one: the caller's rules take over).
inline bool SkipToNextRun(const char* in, size_t n, size_t bad, size_t& i, size_t& o) {
    size_t groups = bad / 4;
    i += groups * 4;
    o += groups * 3;
    if (bad % 4 != 0) return false;
    size_t j = i;
    while (j < n && IsLineEnd(in[j]))
        ++j;
    if (j == i) return false;
    i = j;
    return true;
}

// The vector paths: 16, 32 or 64 characters checked and turned into 12, 24 or 48 bytes per
// step (Muła and Lemire's method). A character is valid when the classes of its low and high
// nibble share no bit; its value is the character plus an offset chosen by its high nibble
// ('/' apart). A step always stores its full width: the bytes past a bad character are
// overwritten by the next step or lie past the answer's end, and never past the caller's
// room (3 bytes out for 4 characters in).
#define KESTREL_NIBBLE_TABLES(set)                                                          \
    const auto lutLo = set(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,       \
                           0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);                              \
    const auto lutHi = set(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,       \
                           0x10, 0x10, 0x10, 0x10, 0x10, 0x10);                              \
    const auto lutRoll = set(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);

__attribute__((target("ssse3"))) size_t GroupsSsse3(const char* in, size_t n,
                                                     unsigned char* out, size_t& consumed) {
    KESTREL_NIBBLE_TABLES(_mm_setr_epi8)
    const __m128i mask2F = _mm_set1_epi8(0x2F);
    const __m128i pack = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    size_t i = 0, o = 0;
    while (i + 16 <= n) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m128i hiNibbles = _mm_and_si128(_mm_srli_epi32(s, 4), mask2F);
        __m128i loNibbles = _mm_and_si128(s, mask2F);
        __m128i lo = _mm_shuffle_epi8(lutLo, loNibbles);
        __m128i hi = _mm_shuffle_epi8(lutHi, hiNibbles);
        unsigned bad = ~static_cast<unsigned>(_mm_movemask_epi8(
                           _mm_cmpeq_epi8(_mm_and_si128(lo, hi), _mm_setzero_si128()))) &
                       0xFFFFu;
        __m128i eq2F = _mm_cmpeq_epi8(s, mask2F);
        __m128i roll = _mm_shuffle_epi8(lutRoll, _mm_add_epi8(eq2F, hiNibbles));
        s = _mm_add_epi8(s, roll);
        __m128i merged = _mm_maddubs_epi16(s, _mm_set1_epi32(0x01400140));
        __m128i bits = _mm_madd_epi16(merged, _mm_set1_epi32(0x00011000));
        bits = _mm_shuffle_epi8(bits, pack);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), bits);
        std::uint32_t last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bits, 8)));
        std::memcpy(out + o + 8, &last, 4);
        if (bad == 0) {
            i += 16;
            o += 12;
        } else if (!SkipToNextRun(in, n, static_cast<size_t>(__builtin_ctz(bad)), i, o)) {
            break;
        }
    }
    size_t used = 0;
    o += GroupsScalar(in + i, n - i, out + o, used);
    consumed = i + used;
    return o;
}

__attribute__((target("avx2"))) size_t GroupsAvx2(const char* in, size_t n, unsigned char* out,
                                                  size_t& consumed) {
#define KESTREL_SET256(...) _mm256_setr_epi8(__VA_ARGS__, __VA_ARGS__)
    KESTREL_NIBBLE_TABLES(KESTREL_SET256)
    const __m256i pack = KESTREL_SET256(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
#undef KESTREL_SET256
    const __m256i mask2F = _mm256_set1_epi8(0x2F);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    size_t i = 0, o = 0;
    while (i + 32 <= n) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        __m256i hiNibbles = _mm256_and_si256(_mm256_srli_epi32(s, 4), mask2F);
        __m256i loNibbles = _mm256_and_si256(s, mask2F);
        __m256i lo = _mm256_shuffle_epi8(lutLo, loNibbles);
        __m256i hi = _mm256_shuffle_epi8(lutHi, hiNibbles);
        unsigned bad = ~static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_and_si256(lo, hi), _mm256_setzero_si256())));
        __m256i eq2F = _mm256_cmpeq_epi8(s, mask2F);
        __m256i roll = _mm256_shuffle_epi8(lutRoll, _mm256_add_epi8(eq2F, hiNibbles));
        s = _mm256_add_epi8(s, roll);
        __m256i merged = _mm256_maddubs_epi16(s, _mm256_set1_epi32(0x01400140));
        __m256i bits = _mm256_madd_epi16(merged, _mm256_set1_epi32(0x00011000));
        bits = _mm256_shuffle_epi8(bits, pack);
        bits = _mm256_permutevar8x32_epi32(bits, lanes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), _mm256_castsi256_si128(bits));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o + 16),
                         _mm256_extracti128_si256(bits, 1));
        if (bad == 0) {
            i += 32;
            o += 24;
        } else if (!SkipToNextRun(in, n, static_cast<size_t>(__builtin_ctz(bad)), i, o)) {
            break;
        }
    }
    size_t used = 0;
    o += GroupsScalar(in + i, n - i, out + o, used);
    consumed = i + used;
    return o;
}

// GCC 12's AVX-512 intrinsics start from _mm512_undefined_epi32(), which its own
// uninitialized-value warnings then report.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// A 16-byte table four times, for the 512-bit lanes.
struct Bytes64 {
    alignas(64) std::int8_t bytes[64];
};
constexpr Bytes64 Repeat4(std::array<std::int8_t, 16> table) {
    Bytes64 out{};
    for (int i = 0; i < 64; ++i)
        out.bytes[i] = table[static_cast<size_t>(i % 16)];
    return out;
}

__attribute__((target("avx2,avx512f,avx512bw"))) size_t GroupsAvx512(const char* in, size_t n,
                                                                     unsigned char* out,
                                                                     size_t& consumed) {
#define KESTREL_SET512(...) _mm512_loadu_si512(Repeat4({__VA_ARGS__}).bytes)
    KESTREL_NIBBLE_TABLES(KESTREL_SET512)
    const __m512i pack = KESTREL_SET512(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
#undef KESTREL_SET512
    const __m512i mask2F = _mm512_set1_epi8(0x2F);
    const __m512i lanes =
        _mm512_setr_epi32(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15, 15, 15, 15);
    const __mmask64 fortyEight = 0x0000FFFFFFFFFFFFull;
    size_t i = 0, o = 0;
    while (i + 64 <= n) {
        __m512i s = _mm512_loadu_si512(in + i);
        __m512i hiNibbles = _mm512_and_si512(_mm512_srli_epi32(s, 4), mask2F);
        __m512i loNibbles = _mm512_and_si512(s, mask2F);
        __m512i lo = _mm512_shuffle_epi8(lutLo, loNibbles);
        __m512i hi = _mm512_shuffle_epi8(lutHi, hiNibbles);
        std::uint64_t bad = _mm512_test_epi8_mask(lo, hi);
        __mmask64 eq2F = _mm512_cmpeq_epi8_mask(s, mask2F);
        __m512i index = _mm512_mask_sub_epi8(hiNibbles, eq2F, hiNibbles, _mm512_set1_epi8(1));
        __m512i roll = _mm512_shuffle_epi8(lutRoll, index);
        s = _mm512_add_epi8(s, roll);
        __m512i merged = _mm512_maddubs_epi16(s, _mm512_set1_epi32(0x01400140));
        __m512i bits = _mm512_madd_epi16(merged, _mm512_set1_epi32(0x00011000));
        bits = _mm512_shuffle_epi8(bits, pack);
        bits = _mm512_permutexvar_epi32(lanes, bits);
        _mm512_mask_storeu_epi8(out + o, fortyEight, bits);
        if (bad == 0) {
            i += 64;
            o += 48;
        } else if (!SkipToNextRun(in, n, static_cast<size_t>(__builtin_ctzll(bad)), i, o)) {
            break;
        }
    }
    size_t used = 0;
    o += GroupsAvx2(in + i, n - i, out + o, used);
    consumed = i + used;
    return o;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#undef KESTREL_NIBBLE_TABLES

Base64Decoder::GroupDecoder DecoderFor(Base64Path path) {
    switch (path) {
    case Base64Path::Avx512:
        return GroupsAvx512;
    case Base64Path::Avx2:
        return GroupsAvx2;
    case Base64Path::Ssse3:
        return GroupsSsse3;
    case Base64Path::Scalar:
        break;
    }
    return GroupsScalar;
}

Base64Path BestPath() {
    static const Base64Path best = [] {
        for (Base64Path p : {Base64Path::Avx512, Base64Path::Avx2, Base64Path::Ssse3})
            if (Base64Decoder::Supported(p)) return p;
        return Base64Path::Scalar;
    }();
    return best;
}

} // namespace

bool Base64Decoder::Supported(Base64Path path) {
    __builtin_cpu_init();
    switch (path) {
    case Base64Path::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx2");
    case Base64Path::Avx2:
        return __builtin_cpu_supports("avx2");
    case Base64Path::Ssse3:
        return __builtin_cpu_supports("ssse3");
    case Base64Path::Scalar:
        break;
    }
    return true;
}

Base64Decoder::Base64Decoder() : Base64Decoder(BestPath()) {}

Base64Decoder::Base64Decoder(Base64Path path)
    : m_groups(Supported(path) ? DecoderFor(path) : GroupsScalar) {}

size_t Base64Decoder::Feed(const char* in, size_t n, unsigned char* out) {
    unsigned char* o = out;
    size_t i = 0;
    while (i < n && !m_done) {
        if (m_count == 0) {
            size_t used = 0;
            o += m_groups(in + i, n - i, o, used);
            i += used;
            if (i >= n) break;
            if (used > 0) continue;
        }
        auto c = static_cast<unsigned char>(in[i++]);
        if (c == '=') {
            if (m_count >= 2 && m_count + ++m_pads >= 4) {
                o += Flush(o);
                m_done = true;
            }
            continue;
        }
        int v = kRanks[c];
        if (v < 0) continue;
        m_bits = (m_bits << 6) | static_cast<std::uint32_t>(v);
        if (++m_count == 4) {
            *o++ = static_cast<unsigned char>(m_bits >> 16);
            *o++ = static_cast<unsigned char>(m_bits >> 8);
            *o++ = static_cast<unsigned char>(m_bits);
            m_count = 0;
            m_bits = 0;
            m_pads = 0;
        }
    }
    return static_cast<size_t>(o - out);
}

size_t Base64Decoder::Finish(unsigned char* out) {
    if (m_done) return 0;
    m_done = true;
    return Flush(out);
}

size_t Base64Decoder::Flush(unsigned char* out) {
    size_t n = 0;
    if (m_count == 2) {
        out[n++] = static_cast<unsigned char>(m_bits >> 4);
    } else if (m_count == 3) {
        out[n++] = static_cast<unsigned char>(m_bits >> 10);
        out[n++] = static_cast<unsigned char>(m_bits >> 2);
    }
    m_count = 0;
    m_bits = 0;
    return n;
}

} // namespace extractor
