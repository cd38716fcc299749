#include "platform/Hash.h"

#include <cstring>

namespace platform {

namespace {

std::uint64_t Avalanche(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

} // namespace

void CHash64::Mix(std::uint64_t word) {
    m_state ^= Avalanche(word + 0x632BE59BD9B4E019ull);
    m_state = (m_state << 27 | m_state >> 37) * 0x9E3779B97F4A7C15ull + 0x94D049BB133111EBull;
}

void CHash64::Add(const void* data, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_length += size;
    while (size > 0 && m_pendingSize > 0) {
        m_pending[m_pendingSize++] = *p++;
        --size;
        if (m_pendingSize == 8) {
            std::uint64_t w;
            std::memcpy(&w, m_pending, 8);
            Mix(w);
            m_pendingSize = 0;
        }
    }
    if (m_pendingSize > 0) return; // all of it went to the word under way
    for (; size >= 8; size -= 8, p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        Mix(w);
    }
    std::memcpy(m_pending, p, size);
    m_pendingSize = size;
}

std::uint64_t CHash64::Value() const {
    std::uint64_t state = m_state;
    std::uint64_t tail = 0;
    std::memcpy(&tail, m_pending, m_pendingSize);
    state ^= Avalanche(tail ^ m_length);
    return Avalanche(state);
}

std::uint64_t HashBytes(std::string_view bytes) {
    CHash64 h;
    h.Add(bytes);
    return h.Value();
}

} // namespace platform
