#include <cmath>
#include <gtest/gtest.h>
#include <regex>

#include "platform/SeException.h"

// The sanitizers would report these faults themselves before the processor raises them; the
// point here is the processor's fault.
#if defined(__clang__)
#define KESTREL_RAW_FAULT __attribute__((noinline, no_sanitize("undefined", "address")))
#else
#define KESTREL_RAW_FAULT __attribute__((noinline, no_sanitize_undefined, no_sanitize_address))
#endif

extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigfpe=0:handle_sigill=0:handle_sigbus=0";
}

namespace {

KESTREL_RAW_FAULT void WriteThroughNull() {
    volatile int* volatile p = nullptr;
    *p = 42;
}

volatile int g_quotient;

KESTREL_RAW_FAULT void DivideByZero() {
    volatile int zero = 0;
    volatile int n = 7;
    g_quotient = n / zero;
}

TEST(SeException, NullPointerWriteBecomesAccessViolation) {
    try {
        RunGuarded(WriteThroughNull);
        FAIL() << "no exception";
    } catch (const CSeException& e) {
        EXPECT_EQ(e.GetSeCode(), SeCode::AccessViolation);
        EXPECT_EQ(e.GetDataAddress(), 0u);
        EXPECT_NE(e.GetAddress(), 0u);
        std::string text;
        EXPECT_TRUE(e.GetErrorMessage(text));
        EXPECT_TRUE(std::regex_match(
            text,
            std::regex("Exception ACCESS_VIOLATION \\(0xc0000005\\) at address 0x[0-9a-f]{8,}\\.")))
            << text;
    }
}

TEST(SeException, IntegerDivisionByZero) {
    try {
        RunGuarded(DivideByZero);
        FAIL() << "no exception";
    } catch (const CSeException& e) {
        EXPECT_EQ(e.GetSeCode(), SeCode::IntDivideByZero);
        EXPECT_EQ(
            e.GetDescription().rfind("Exception INT_DIVIDE_BY_ZERO (0xc0000094) at address 0x", 0),
            0u);
    }
}

TEST(SeException, GuardIsReusableAndCodeRunsNormallyAfterAFault) {
    for (int i = 0; i < 3; ++i)
        EXPECT_THROW(RunGuarded(WriteThroughNull), CSeException);
    int value = 0;
    RunGuarded([&] { value = 5; });
    EXPECT_EQ(value, 5);
}

TEST(SeException, CppExceptionsPassThroughUnchanged) {
    EXPECT_THROW(RunGuarded([] { throw std::runtime_error("x"); }), std::runtime_error);
    // And the guard is gone afterwards: a nested guard still works.
    EXPECT_THROW(RunGuarded([] { RunGuarded(WriteThroughNull); }), CSeException);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KESTREL_ASAN 1
#endif

// ASan's instrumented frames are too large and its own stack checks come first.
#ifndef KESTREL_ASAN
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
KESTREL_RAW_FAULT int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + pad[0];
}
#pragma GCC diagnostic pop

TEST(SeException, StackOverflowOnItsOwnStack) {
    try {
        RunGuarded([] { Recurse(0); });
        FAIL() << "no exception";
    } catch (const CSeException& e) {
        EXPECT_EQ(e.GetSeCode(), SeCode::StackOverflow);
    }
}
#endif

TEST(SeException, FaultOutsideAGuardKeepsTheDefaultBehaviour) {
    InstallFaultTranslator();
    EXPECT_EXIT(WriteThroughNull(), testing::KilledBySignal(SIGSEGV), "");
}

TEST(SeException, DescriptionTable) {
    struct Case {
        std::uint32_t code;
        const char* text;
        bool known;
    } cases[] = {
        {0xC0000005, "Exception ACCESS_VIOLATION (0xc0000005) at address 0x00001234.", true},
        {0xC00000FD, "Exception STACK_OVERFLOW (0xc00000fd) at address 0x00001234.", true},
        {0x80000001, "Exception GUARD_PAGE (0x80000001) at address 0x00001234.", true},
        {0xC0000096, "Exception PRIV_INSTRUCTION (0xc0000096) at address 0x00001234.", true},
        {0xC0000094, "Exception INT_DIVIDE_BY_ZERO (0xc0000094) at address 0x00001234.", true},
        {0xE06D7363, "Unknown exception.", false},
        {0, "Unknown exception.", false},
    };
    for (const Case& c : cases) {
        CSeException e(c.code, 0x1234);
        std::string text;
        EXPECT_EQ(e.GetErrorMessage(text), c.known) << c.text;
        EXPECT_EQ(text, c.text);
    }
    int known = 0;
    for (std::uint32_t code :
         {0x80000001u, 0x80000002u, 0x80000003u, 0x80000004u, 0xC0000005u, 0xC0000006u,
          0xC0000008u, 0xC000001Du, 0xC0000025u, 0xC0000026u, 0xC000008Cu, 0xC000008Du,
          0xC000008Eu, 0xC000008Fu, 0xC0000090u, 0xC0000091u, 0xC0000092u, 0xC0000093u,
          0xC0000094u, 0xC0000095u, 0xC0000096u, 0xC00000FDu})
        known += SeCodeName(code) != nullptr;
    EXPECT_EQ(known, 22);
}

} // namespace
