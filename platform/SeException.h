#pragma once
// Processor faults as catchable exceptions. A fault signal raised inside RunGuarded (an access
// violation, a division by zero, an illegal instruction, a trap, a stack overflow) comes back
// out of RunGuarded as a CSeException carrying the matching EXCEPTION_ code and the address of
// the faulting instruction. Outside a guard a fault keeps its default behaviour.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class IMessageBox;

// The codes the translator produces, with the values the rest of the program and its logs know.
namespace SeCode {
inline constexpr std::uint32_t GuardPage = 0x80000001;
inline constexpr std::uint32_t DatatypeMisalignment = 0x80000002;
inline constexpr std::uint32_t Breakpoint = 0x80000003;
inline constexpr std::uint32_t SingleStep = 0x80000004;
inline constexpr std::uint32_t AccessViolation = 0xC0000005;
inline constexpr std::uint32_t InPageError = 0xC0000006;
inline constexpr std::uint32_t InvalidHandle = 0xC0000008;
inline constexpr std::uint32_t IllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t NoncontinuableException = 0xC0000025;
inline constexpr std::uint32_t InvalidDisposition = 0xC0000026;
inline constexpr std::uint32_t ArrayBoundsExceeded = 0xC000008C;
inline constexpr std::uint32_t FltDenormalOperand = 0xC000008D;
inline constexpr std::uint32_t FltDivideByZero = 0xC000008E;
inline constexpr std::uint32_t FltInexactResult = 0xC000008F;
inline constexpr std::uint32_t FltInvalidOperation = 0xC0000090;
inline constexpr std::uint32_t FltOverflow = 0xC0000091;
inline constexpr std::uint32_t FltStackCheck = 0xC0000092;
inline constexpr std::uint32_t FltUnderflow = 0xC0000093;
inline constexpr std::uint32_t IntDivideByZero = 0xC0000094;
inline constexpr std::uint32_t IntOverflow = 0xC0000095;
inline constexpr std::uint32_t PrivInstruction = 0xC0000096;
inline constexpr std::uint32_t StackOverflow = 0xC00000FD;
} // namespace SeCode

// The name of a code without its EXCEPTION_ prefix ("ACCESS_VIOLATION"), or nullptr.
const char* SeCodeName(std::uint32_t code);

class CSeException : public std::exception {
public:
    CSeException(std::uint32_t code, std::uintptr_t address, std::uintptr_t dataAddress = 0);

    std::uint32_t GetSeCode() const { return m_code; }
    // The faulting instruction.
    std::uintptr_t GetAddress() const { return m_address; }
    // The memory address an access violation touched (0 when it does not apply).
    std::uintptr_t GetDataAddress() const { return m_dataAddress; }

    // "Exception %s (0x%.8x) at address 0x%.8x." and true; "Unknown exception." and false for
    // a code outside the table.
    bool GetErrorMessage(std::string& message) const;
    std::string GetDescription() const;
    // Shows the description in a message box.
    void ReportError(IMessageBox& ui) const;
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    std::uint32_t m_code;
    std::uintptr_t m_address;
    std::uintptr_t m_dataAddress;
    std::string m_description;
};

// Installs the fault handlers for the process and an alternate signal stack for the calling
// thread. Idempotent; RunGuarded calls it too.
void InstallFaultTranslator();

// Runs fn; a fault inside it is thrown as CSeException. C++ exceptions pass through unchanged.
// The frames abandoned by a fault are not unwound, so guard narrow calls whose objects the
// caller owns.
void RunGuarded(const std::function<void()>& fn);
