#include "platform/Hash.h"

#include <algorithm>
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

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

std::uint64_t Rotl(std::uint64_t x, int r) {
    return x << r | x >> (64 - r);
}

std::uint64_t Round(std::uint64_t lane, std::uint64_t word) {
    return Rotl(lane + word * kPrime2, 31) * kPrime1;
}

std::uint64_t Word(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

} // namespace

void CWideHash64::Stripe(const unsigned char* p) {
    m_lanes[0] = Round(m_lanes[0], Word(p));
    m_lanes[1] = Round(m_lanes[1], Word(p + 8));
    m_lanes[2] = Round(m_lanes[2], Word(p + 16));
    m_lanes[3] = Round(m_lanes[3], Word(p + 24));
}

void CWideHash64::Add(const void* data, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_length += size;
    if (m_pendingSize > 0) {
        const std::size_t take = std::min(size, sizeof m_pending - m_pendingSize);
        std::memcpy(m_pending + m_pendingSize, p, take);
        m_pendingSize += take;
        p += take;
        size -= take;
        if (m_pendingSize < sizeof m_pending) return;
        Stripe(m_pending);
        m_pendingSize = 0;
    }
    for (; size >= 32; size -= 32, p += 32)
        Stripe(p);
    std::memcpy(m_pending, p, size);
    m_pendingSize = size;
}

std::uint64_t CWideHash64::Value() const {
    std::uint64_t h = Rotl(m_lanes[0], 1) + Rotl(m_lanes[1], 7) + Rotl(m_lanes[2], 12) +
                      Rotl(m_lanes[3], 18);
    for (std::uint64_t lane : m_lanes)
        h = (h ^ Round(0, lane)) * kPrime1 + kPrime4;
    h += m_length;
    std::size_t at = 0;
    for (; at + 8 <= m_pendingSize; at += 8)
        h = Rotl(h ^ Round(0, Word(m_pending + at)), 27) * kPrime1 + kPrime4;
    for (; at < m_pendingSize; ++at)
        h = Rotl(h ^ (m_pending[at] * kPrime5), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    return h ^ (h >> 32);
}

std::uint64_t HashBytes(std::string_view bytes) {
    CHash64 h;
    h.Add(bytes);
    return h.Value();
}

} // namespace platform
