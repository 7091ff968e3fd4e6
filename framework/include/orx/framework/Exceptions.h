#pragma once

#include <stdexcept>
#include <string>

namespace orx::framework {

// Base of the host's exceptions; the host shows their text to the user.
class COrxException : public std::runtime_error {
  public:
    explicit COrxException(const std::string& text, bool userVisible = true)
        : std::runtime_error(text), m_userVisible(userVisible) {}
    bool IsUserVisible() const { return m_userVisible; }

  private:
    bool m_userVisible;
};

class COrxRunTimeError : public COrxException {
  public:
    using COrxException::COrxException;
};

class COrxLogicError : public COrxException {
  public:
    using COrxException::COrxException;
};

class CCommandErrorException : public COrxException {
  public:
    using COrxException::COrxException;
};

// "Assertion Failed: <message> Expression: <expression> File: <file> Line: <line>"
std::string AssertionText(const std::string& message, const std::string& expression,
                          const std::string& file, int line);

[[noreturn]] void ThrowAssertion(const std::string& message, const char* expression,
                                 const char* file, int line);

}  // namespace orx::framework

// Raises COrxLogicError with the host's assertion text when `expr` is false.
#define ORX_ASSERT(expr, message)                                                   \
    do {                                                                            \
        if (!(expr)) {                                                              \
            ::orx::framework::ThrowAssertion((message), #expr, __FILE__, __LINE__); \
        }                                                                           \
    } while (0)
