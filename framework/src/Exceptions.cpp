#include <orx/framework/Exceptions.h>

namespace orx::framework {

std::string AssertionText(const std::string& message, const std::string& expression,
                          const std::string& file, int line) {
    return "Assertion Failed: " + message + " Expression: " + expression + " File: " + file +
           " Line: " + std::to_string(line);
}

void ThrowAssertion(const std::string& message, const char* expression, const char* file,
                    int line) {
    throw COrxLogicError(AssertionText(message, expression, file, line));
}

}  // namespace orx::framework
