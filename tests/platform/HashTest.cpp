// The hash that tells whether stored bytes changed: fed in pieces of any sizes it gives what it
// gives for the bytes at once, and it sees a change of any byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Hash.h"

namespace {

TEST(Hash, PiecesOfAnySizeHashAsTheWhole) {
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += static_cast<char>(i * 37 + 11);
    const std::uint64_t whole = platform::HashBytes(bytes);
    const std::vector<std::vector<std::size_t>> cuts = {
        {1}, {2, 3}, {3, 2, 2}, {7, 1}, {9}, {5, 0, 4, 16}, {8}, {13, 64},
    };
    for (const std::vector<std::size_t>& pattern : cuts) {
        platform::CHash64 h;
        std::size_t at = 0;
        for (std::size_t k = 0; at < bytes.size(); ++k) {
            const std::size_t n = std::min(pattern[k % pattern.size()], bytes.size() - at);
            h.Add(bytes.data() + at, n);
            at += n;
        }
        EXPECT_EQ(h.Value(), whole) << "pieces of " << pattern[0] << "...";
        EXPECT_EQ(h.Length(), bytes.size());
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::string changed = bytes;
        changed[i] ^= 1;
        EXPECT_NE(platform::HashBytes(changed), whole) << "byte " << i;
    }
    EXPECT_NE(platform::HashBytes(bytes + '\0'), whole);
}

} // namespace
