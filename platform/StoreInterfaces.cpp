#include "platform/StoreInterfaces.h"

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Every component and the program share the C library's heap, so one allocator serves all.
class CShellMalloc : public IMalloc {
public:
    void* Alloc(std::size_t size) override { return std::malloc(size ? size : 1); }
    void Free(void* block) override { std::free(block); }
    std::uint32_t Release() override { return 1; }
};

} // namespace

KHRESULT SHGetMalloc(IMalloc** out) {
    static CShellMalloc malloc;
    if (!out) return static_cast<KHRESULT>(0x80004003);
    *out = &malloc;
    return 0;
}

void* CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size ? size : 1);
}

void CoTaskMemFree(void* block) {
    std::free(block);
}

char* CoTaskStrDup(const char* text) {
    std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(CoTaskMemAlloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

} // namespace platform
