#pragma once
// Reference counting for the store component's objects: one count, deleted at zero.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/Com.h"

namespace oestore {

template <typename Interface> class CRefCounted : public Interface {
public:
    std::uint32_t AddRef() override { return ++m_refs; }
    std::uint32_t Release() override {
        std::uint32_t left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    KHRESULT QueryInterface(const char* iid, void** out) override {
        if (!out) return platform::kE_POINTER;
        *out = nullptr;
        if (!iid || std::strcmp(iid, InterfaceId()) != 0) return platform::kE_NOINTERFACE;
        AddRef();
        *out = static_cast<Interface*>(this);
        return platform::kS_OK;
    }

protected:
    virtual ~CRefCounted() = default;
    virtual const char* InterfaceId() const = 0;

private:
    std::atomic<std::uint32_t> m_refs{1};
};

} // namespace oestore
