#include "platform/SeException.h"

#include "platform/UserInterface.h"

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <ucontext.h>

namespace {

struct CodeName {
    std::uint32_t code;
    const char* name;
};

constexpr CodeName kCodeNames[] = {
    {SeCode::GuardPage, "GUARD_PAGE"},
    {SeCode::DatatypeMisalignment, "DATATYPE_MISALIGNMENT"},
    {SeCode::Breakpoint, "BREAKPOINT"},
    {SeCode::SingleStep, "SINGLE_STEP"},
    {SeCode::AccessViolation, "ACCESS_VIOLATION"},
    {SeCode::InPageError, "IN_PAGE_ERROR"},
    {SeCode::InvalidHandle, "INVALID_HANDLE"},
    {SeCode::IllegalInstruction, "ILLEGAL_INSTRUCTION"},
    {SeCode::NoncontinuableException, "NONCONTINUABLE_EXCEPTION"},
    {SeCode::InvalidDisposition, "INVALID_DISPOSITION"},
    {SeCode::ArrayBoundsExceeded, "ARRAY_BOUNDS_EXCEEDED"},
    {SeCode::FltDenormalOperand, "FLT_DENORMAL_OPERAND"},
    {SeCode::FltDivideByZero, "FLT_DIVIDE_BY_ZERO"},
    {SeCode::FltInexactResult, "FLT_INEXACT_RESULT"},
    {SeCode::FltInvalidOperation, "FLT_INVALID_OPERATION"},
    {SeCode::FltOverflow, "FLT_OVERFLOW"},
    {SeCode::FltStackCheck, "FLT_STACK_CHECK"},
    {SeCode::FltUnderflow, "FLT_UNDERFLOW"},
    {SeCode::IntDivideByZero, "INT_DIVIDE_BY_ZERO"},
    {SeCode::IntOverflow, "INT_OVERFLOW"},
    {SeCode::PrivInstruction, "PRIV_INSTRUCTION"},
    {SeCode::StackOverflow, "STACK_OVERFLOW"},
};

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr int kSignalSlots = 32;

struct sigaction g_previous[kSignalSlots];

struct Fault {
    std::uint32_t code = 0;
    std::uintptr_t address = 0;
    std::uintptr_t dataAddress = 0;
};

// The innermost guard of this thread; the handler jumps back into it.
struct Guard {
    sigjmp_buf env;
    Fault fault;
};
thread_local Guard* t_guard = nullptr;

// A fault at the stack's limit cannot run its handler on that stack: each guarded thread gets
// its own signal stack.
struct AltStack {
    void* memory = nullptr;
    ~AltStack() {
        if (!memory) return;
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        sigaltstack(&disable, nullptr);
        std::free(memory);
    }
};
thread_local AltStack t_altStack;

void EnsureAltStack() {
    if (t_altStack.memory) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    const size_t size = 64 * 1024;
    void* memory = std::malloc(size);
    if (!memory) return;
    stack_t ss{};
    ss.ss_sp = memory;
    ss.ss_size = size;
    if (sigaltstack(&ss, nullptr) == 0)
        t_altStack.memory = memory;
    else
        std::free(memory);
}

std::uintptr_t InstructionPointer(const ucontext_t* uc) {
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#else
    return 0;
#endif
}

std::uintptr_t StackPointer(const ucontext_t* uc) {
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
    return 0;
#endif
}

std::uint32_t CodeFor(int sig, const siginfo_t* info, const ucontext_t* uc) {
    switch (sig) {
    case SIGSEGV: {
        // A touch just below the stack pointer is the stack running into its guard page.
        std::uintptr_t addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
        std::uintptr_t sp = StackPointer(uc);
        const std::uintptr_t reach = 64 * 1024;
        if (sp && addr + reach >= sp && addr <= sp + reach) return SeCode::StackOverflow;
        return SeCode::AccessViolation;
    }
    case SIGBUS:
        return info->si_code == BUS_ADRALN ? SeCode::DatatypeMisalignment : SeCode::InPageError;
    case SIGFPE:
        switch (info->si_code) {
        case FPE_INTDIV:
            return SeCode::IntDivideByZero;
        case FPE_INTOVF:
            return SeCode::IntOverflow;
        case FPE_FLTDIV:
            return SeCode::FltDivideByZero;
        case FPE_FLTOVF:
            return SeCode::FltOverflow;
        case FPE_FLTUND:
            return SeCode::FltUnderflow;
        case FPE_FLTRES:
            return SeCode::FltInexactResult;
        case FPE_FLTSUB:
            return SeCode::ArrayBoundsExceeded;
        default:
            return SeCode::FltInvalidOperation;
        }
    case SIGILL:
        return (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG)
                   ? SeCode::PrivInstruction
                   : SeCode::IllegalInstruction;
    case SIGTRAP:
        return info->si_code == TRAP_TRACE ? SeCode::SingleStep : SeCode::Breakpoint;
    default:
        return SeCode::NoncontinuableException;
    }
}

void FaultHandler(int sig, siginfo_t* info, void* context) {
    // A signal sent by a process (kill, raise) is not a fault of the guarded code.
    bool synchronous = info && info->si_code > 0;
    if (t_guard && synchronous) {
        const ucontext_t* uc = static_cast<const ucontext_t*>(context);
        Fault& f = t_guard->fault;
        f.code = CodeFor(sig, info, uc);
        f.address = InstructionPointer(uc);
        if (!f.address) f.address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        f.dataAddress =
            (sig == SIGSEGV || sig == SIGBUS) ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
        siglongjmp(t_guard->env, 1);
    }
    // Not ours: give the fault back to whoever handled it before (the default: a core dump).
    sigaction(sig, &g_previous[sig], nullptr);
    // A faulting instruction faults again on return; anything else must be raised anew.
    if (!synchronous || sig == SIGTRAP) raise(sig);
}

} // namespace

const char* SeCodeName(std::uint32_t code) {
    for (const CodeName& c : kCodeNames)
        if (c.code == code) return c.name;
    return nullptr;
}

CSeException::CSeException(std::uint32_t code, std::uintptr_t address, std::uintptr_t dataAddress)
    : m_code(code), m_address(address), m_dataAddress(dataAddress) {
    GetErrorMessage(m_description);
}

bool CSeException::GetErrorMessage(std::string& message) const {
    const char* name = SeCodeName(m_code);
    if (!name) {
        message = "Unknown exception.";
        return false;
    }
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "Exception %s (0x%.8x) at address 0x%.8llx.", name,
                  static_cast<unsigned>(m_code), static_cast<unsigned long long>(m_address));
    message = buffer;
    return true;
}

std::string CSeException::GetDescription() const {
    std::string message;
    GetErrorMessage(message);
    return message;
}

void CSeException::ReportError(IMessageBox& ui) const {
    ui.ShowMessage(GetDescription(), kAppTitle, MessageIcon::Error);
}

void InstallFaultTranslator() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : kFaultSignals) {
            struct sigaction sa {};
            sa.sa_sigaction = FaultHandler;
            sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&sa.sa_mask);
            sigaction(sig, &sa, &g_previous[sig]);
        }
    });
    EnsureAltStack();
}

void RunGuarded(const std::function<void()>& fn) {
    InstallFaultTranslator();
    Guard guard;
    Guard* outer = t_guard;
    if (sigsetjmp(guard.env, 1) != 0) {
        t_guard = outer;
        throw CSeException(guard.fault.code, guard.fault.address, guard.fault.dataAddress);
    }
    t_guard = &guard;
    try {
        fn();
    } catch (...) {
        t_guard = outer;
        throw;
    }
    t_guard = outer;
}
