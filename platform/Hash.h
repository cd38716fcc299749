#pragma once
// A fast 64-bit hash of bytes, for telling whether stored data has changed since it was last
// seen (not for security: anyone who can write the data can also change what it is compared
// with). Fed in pieces it gives what it gives for the whole.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

class CHash64 {
public:
    void Add(const void* data, std::size_t size);
    void Add(std::string_view bytes) { Add(bytes.data(), bytes.size()); }
    std::uint64_t Value() const;
    std::uint64_t Length() const { return m_length; }

private:
    void Mix(std::uint64_t word);
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
    std::uint64_t m_length = 0;
    unsigned char m_pending[8] = {};
    std::size_t m_pendingSize = 0;
};

std::uint64_t HashBytes(std::string_view bytes);

// The same for long streams of bytes (a mail file of hundreds of megabytes, read whole to tell
// whether any of it changed): four lanes mixed apart, so that the processor works on them at
// once, at several times CHash64's speed. It gives other values than CHash64.
class CWideHash64 {
public:
    void Add(const void* data, std::size_t size);
    std::uint64_t Value() const;
    std::uint64_t Length() const { return m_length; }

private:
    void Stripe(const unsigned char* p);
    std::uint64_t m_lanes[4] = {0x60EA27EEADC0B5D6ull, 0xC2B2AE3D27D4EB4Full, 0,
                                0x61C8864E7A143579ull};
    std::uint64_t m_length = 0;
    unsigned char m_pending[32] = {};
    std::size_t m_pendingSize = 0;
};

} // namespace platform
