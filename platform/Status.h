#pragma once
// What came of opening or reading data from outside the program (a mailbox, a settings or
// language file, the record of done messages): a code the program acts on and a reason the user
// reads. A function of the core that opens or reads such data answers a Status, or a Result that
// holds what it read or else the Status that says why not; no reader keeps a last error of its
// own.
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace platform {

enum class StatusCode {
    Ok,
    Missing,       // nothing is there
    Refused,       // not opened: not a plain file (a fifo, a device), or the system would not
    Unreadable,    // opened, but a read failed
    NotRecognised, // read, but not of the kind asked for
    Damaged,       // of the kind, but broken where it was read
};

class Status {
public:
    Status() = default; // Ok
    Status(StatusCode code, std::string reason) : m_code(code), m_reason(std::move(reason)) {}

    bool IsOk() const { return m_code == StatusCode::Ok; }
    explicit operator bool() const { return IsOk(); }
    StatusCode Code() const { return m_code; }
    // For the user; empty when the code says all (and for Ok).
    const std::string& Reason() const { return m_reason; }

private:
    StatusCode m_code = StatusCode::Ok;
    std::string m_reason;
};

// What was read, or the Status that says why there is nothing.
template <typename T>
class Result {
public:
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U&&, T>>>
    Result(U&& value) : m_value(std::forward<U>(value)) {}
    Result(Status failure) : m_status(std::move(failure)) {}

    bool IsOk() const { return m_value.has_value(); }
    explicit operator bool() const { return IsOk(); }
    const Status& GetStatus() const { return m_status; }
    // Only when IsOk().
    T& Value() { return *m_value; }
    const T& Value() const { return *m_value; }
    // What was read, moved out; an empty T when nothing was.
    T Take() { return m_value ? std::move(*m_value) : T{}; }

private:
    std::optional<T> m_value;
    Status m_status;
};

} // namespace platform
