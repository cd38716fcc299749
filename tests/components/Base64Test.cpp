// The base64 decoder on every path this processor has (table-driven groups, SSSE3, AVX2,
// AVX-512): the lenient rules, and the same bytes whatever the line breaks and call pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "components/extractor/Base64.h"

using extractor::Base64Decoder;
using extractor::Base64Path;

namespace {

const Base64Path kPaths[] = {Base64Path::Scalar, Base64Path::Ssse3, Base64Path::Avx2,
                             Base64Path::Avx512};

// Feeds the text in pieces of `piece` characters (0: all at once).
std::string Decode(Base64Path path, const std::string& text, size_t piece = 0) {
    Base64Decoder decoder(path);
    std::string out;
    for (size_t at = 0; at < text.size() || at == 0;) {
        size_t n = piece == 0 ? text.size() : std::min(piece, text.size() - at);
        std::vector<unsigned char> buf(n * 3 / 4 + 3);
        out.append(reinterpret_cast<char*>(buf.data()), decoder.Feed(text.data() + at, n, buf.data()));
        at += n;
        if (n == 0) break;
    }
    unsigned char tail[3];
    out.append(reinterpret_cast<char*>(tail), decoder.Finish(tail));
    return out;
}

std::string Encode(const std::string& data) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
        out += {t[v >> 18], t[(v >> 12) & 63], i + 1 < data.size() ? t[(v >> 6) & 63] : '=',
                i + 2 < data.size() ? t[v & 63] : '='};
    }
    return out;
}

} // namespace

TEST(Base64, LenientRulesOnEveryPath) {
    struct Case {
        std::string text, want;
    } cases[] = {
        {"QUJD", "ABC"},
        {"QUJDRA==", "ABCD"},
        {"QUJDREU=", "ABCDE"},
        {"QUJDRA==QUJD", "ABCD"},             // a completed padding ends the data
        {"QU=JD", "ABC"},                      // a lone "=" inside a group is skipped
        {"=QUJD", "ABC"},                      // and so is one before any group
        {"QUJDRA", "ABCD"},                    // a truncated last group keeps its bytes
        {"QUJDREU", "ABCDE"},
        {"QUJDR", "ABC"},                      // one character alone gives nothing
        {"Q U\tJ\r\nD*!\x80\xff", "ABC"},      // characters outside the alphabet skipped
        {"QUJD-_~QUJD", "ABCABC"},
        {"", ""},
    };
    for (Base64Path path : kPaths) {
        if (!Base64Decoder::Supported(path)) continue;
        for (const auto& c : cases) {
            EXPECT_EQ(Decode(path, c.text), c.want) << c.text << " path " << int(path);
            EXPECT_EQ(Decode(path, c.text, 1), c.want) << c.text << " path " << int(path);
        }
    }
}

TEST(Base64, SameBytesWhateverTheBreaksAndPieces) {
    std::mt19937 rng(7);
    std::string data(700, '\0');
    for (auto& c : data)
        c = static_cast<char>(rng());
    const std::string clean = Encode(data);
    for (Base64Path path : kPaths) {
        if (!Base64Decoder::Supported(path)) continue;
        EXPECT_EQ(Decode(path, clean), data);
        // A line break, or a stray character, at every position; pieces of every size that
        // split groups and vector blocks.
        for (size_t pos = 0; pos <= clean.size(); ++pos) {
            std::string text = clean;
            text.insert(pos, pos % 3 == 0 ? "\r\n" : pos % 3 == 1 ? "\n" : "*");
            ASSERT_EQ(Decode(path, text), data) << "break at " << pos << " path " << int(path);
        }
        for (size_t piece = 1; piece < 140; ++piece) {
            std::string wrapped;
            for (size_t i = 0; i < clean.size(); i += 76)
                wrapped += clean.substr(i, 76) + "\r\n";
            ASSERT_EQ(Decode(path, wrapped, piece), data) << "piece " << piece;
        }
    }
}
