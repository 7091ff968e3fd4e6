#include <orx/framework/Validation.h>

#include <algorithm>

namespace orx::framework {

void CBaseValidationContext::AddValidationError(const std::string& source,
                                                const std::string& message) {
    m_messages.push_back(ValidationMessage{source, message, true});
}

void CBaseValidationContext::AddValidationWarning(const std::string& source,
                                                  const std::string& message) {
    m_messages.push_back(ValidationMessage{source, message, false});
}

bool CBaseValidationContext::HasErrors() const {
    return std::any_of(m_messages.begin(), m_messages.end(),
                       [](const ValidationMessage& m) { return m.isError; });
}

}  // namespace orx::framework
