// The outcome of a platform call: the errno value it failed with, or success, and a value where the call
// yields one.
#pragma once

#include <cerrno>
#include <string>
#include <utility>

namespace platform {

// The system's text for an errno value.
std::string ErrorText(int error);

// Success, or the errno value of a failure.
class [[nodiscard]] Status {
public:
    constexpr Status() = default;
    constexpr explicit Status(int error) : m_error(error) {}
    // The failure errno reports now (the call that set it must have failed).
    static Status FromErrno() { return Status(errno); }

    explicit operator bool() const { return m_error == 0; }
    // The errno value; 0 on success.
    int Code() const { return m_error; }
    std::string Text() const { return ErrorText(m_error); }

private:
    int m_error = 0;
};

// A value and the Status of the call that yields it; the value is meaningful only on success.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(platform::Status failure) : m_status(failure) {}

    explicit operator bool() const { return static_cast<bool>(m_status); }
    const T& Value() const { return m_value; }
    // The value, or Fallback where the call failed.
    T ValueOr(T fallback) const { return m_status ? m_value : fallback; }
    platform::Status Status() const { return m_status; }

private:
    T m_value{};
    platform::Status m_status;
};

} // namespace platform
