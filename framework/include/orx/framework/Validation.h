#pragma once

#include <string>
#include <vector>

namespace orx::framework {

struct ValidationMessage {
    std::string source;   // where it was raised (file and line)
    std::string message;  // the text the user reads
    bool isError = true;
};

// Collects the messages of one validation run; any error stops an apply or a command.
class CBaseValidationContext {
  public:
    virtual ~CBaseValidationContext() = default;

    virtual void AddValidationError(const std::string& source, const std::string& message);
    virtual void AddValidationWarning(const std::string& source, const std::string& message);

    const std::vector<ValidationMessage>& GetMessages() const { return m_messages; }
    bool HasErrors() const;

  private:
    std::vector<ValidationMessage> m_messages;
};

}  // namespace orx::framework
