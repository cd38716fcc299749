// The base64 decoder's fast paths (scalar groups, SSSE3, AVX2, AVX-512, whichever this
// processor has) against a plain character-by-character decoder of the same rules, on any
// text: the input as it is, with line ends put in every few characters, cut into pieces fed
// one call at a time.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "components/extractor/Base64.h"

namespace {

// The rules, one character at a time: outside the alphabet skipped, a completed padding ends
// the data, a last group of two or three characters gives one or two bytes.
std::string Reference(const std::string& in) {
    std::string out;
    std::uint32_t bits = 0;
    int count = 0, pads = 0;
    auto flush = [&] {
        if (count == 2) out += static_cast<char>(bits >> 4);
        if (count == 3) {
            out += static_cast<char>(bits >> 10);
            out += static_cast<char>(bits >> 2);
        }
    };
    for (unsigned char c : in) {
        if (c == '=') {
            if (count >= 2 && count + ++pads >= 4) {
                flush();
                return out;
            }
            continue;
        }
        int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                : c >= 'a' && c <= 'z' ? c - 'a' + 26
                : c >= '0' && c <= '9' ? c - '0' + 52
                : c == '+'             ? 62
                : c == '/'             ? 63
                                       : -1;
        if (v < 0) continue;
        bits = bits << 6 | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            count = 0;
            bits = 0;
            pads = 0;
        }
    }
    flush();
    return out;
}

std::string Decode(extractor::Base64Path path, const std::string& in, std::uint32_t seed) {
    extractor::Base64Decoder decoder(path);
    std::string out;
    std::vector<unsigned char> buf;
    size_t at = 0;
    while (at < in.size()) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = (seed >> 16) % 4 == 0 ? in.size() : 1 + (seed >> 8) % 300;
        piece = std::min(piece, in.size() - at);
        // Exactly the room the decoder asks for, so that a store past it is caught.
        buf.assign(piece * 3 / 4 + 3, 0);
        size_t n = decoder.Feed(in.data() + at, piece, buf.data());
        out.append(reinterpret_cast<const char*>(buf.data()), n);
        at += piece;
    }
    buf.assign(3, 0);
    size_t n = decoder.Finish(buf.data());
    out.append(reinterpret_cast<const char*>(buf.data()), n);
    return out;
}

void Check(const std::string& text, std::uint32_t seed) {
    const std::string want = Reference(text);
    for (auto path : {extractor::Base64Path::Scalar, extractor::Base64Path::Ssse3,
                      extractor::Base64Path::Avx2, extractor::Base64Path::Avx512}) {
        if (!extractor::Base64Decoder::Supported(path)) continue;
        if (Decode(path, text, seed) != want) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::uint32_t seed = data[0];
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    Check(text, seed);
    // Line ends every `width` characters, CR LF or LF alone.
    size_t width = 1 + data[0] % 97;
    std::string wrapped;
    for (size_t i = 0; i < text.size(); ++i) {
        wrapped += text[i];
        if ((i + 1) % width == 0) wrapped += data[0] & 0x80 ? "\n" : "\r\n";
    }
    Check(wrapped, seed ^ 0x9E3779B9u);
    return 0;
}
