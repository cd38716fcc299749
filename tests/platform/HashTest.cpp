// The hash that tells whether stored bytes changed: fed in pieces of any sizes it gives what it
// gives for the bytes at once, and it sees a change of any byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Hash.h"

namespace {

template <class Hash> std::uint64_t HashOf(const std::string& bytes) {
    Hash h;
    h.Add(bytes.data(), bytes.size());
    return h.Value();
}

template <class Hash> void PiecesOfAnySizeHashAsTheWhole() {
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += static_cast<char>(i * 37 + 11);
    const std::uint64_t whole = HashOf<Hash>(bytes);
    const std::vector<std::vector<std::size_t>> cuts = {
        {1}, {2, 3}, {3, 2, 2}, {7, 1}, {9}, {5, 0, 4, 16}, {8}, {13, 64},
    };
    for (const std::vector<std::size_t>& pattern : cuts) {
        Hash h;
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
        EXPECT_NE(HashOf<Hash>(changed), whole) << "byte " << i;
        // Two words swapped.
        if (i + 16 <= bytes.size()) {
            changed = bytes;
            std::swap_ranges(changed.begin() + i, changed.begin() + i + 8, changed.begin() + i + 8);
            EXPECT_NE(HashOf<Hash>(changed), whole) << "words at " << i;
        }
    }
    EXPECT_NE(HashOf<Hash>(bytes + '\0'), whole);
    EXPECT_NE(HashOf<Hash>(std::string(40, '\0')), HashOf<Hash>(std::string(41, '\0')));
}

TEST(Hash, PiecesOfAnySizeHashAsTheWhole) {
    PiecesOfAnySizeHashAsTheWhole<platform::CHash64>();
    PiecesOfAnySizeHashAsTheWhole<platform::CWideHash64>();
    EXPECT_EQ(platform::HashBytes("mail"), HashOf<platform::CHash64>("mail"));
}

} // namespace
