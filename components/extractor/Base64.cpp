#include "components/extractor/Base64.h"

#include "components/extractor/HeaderText.h"

namespace extractor {

size_t Base64Decoder::Feed(const char* in, size_t n, unsigned char* out) {
    unsigned char* o = out;
    for (size_t i = 0; i < n && !m_done; ++i) {
        auto c = static_cast<unsigned char>(in[i]);
        if (c == '=') {
            if (m_count >= 2 && m_count + ++m_pads >= 4) {
                o += Flush(o);
                m_done = true;
            }
            continue;
        }
        int v = Base64Rank(c);
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
