#pragma once

#include <string>
#include <vector>

#include <orx/framework/FastDelegate.h>
#include <orx/framework/Types.h>
#include <orx/framework/Validation.h>

namespace orx::core {

class ValidationContext : public orx::framework::CBaseValidationContext {};

using ValidateDelegate = orx::framework::FastDelegate1<ValidationContext&, void>;

// A validation hook for objects of one class, registered with the ValidatorRegistry.
class Validator {
  public:
    Validator(std::string name, std::string group, orx::framework::ClassId classId,
              ValidateDelegate delegate, bool perObject);

    const std::string& GetName() const { return m_name; }
    const std::string& GetGroup() const { return m_group; }
    orx::framework::ClassId GetClassId() const { return m_classId; }
    const ValidateDelegate& GetDelegate() const { return m_delegate; }
    bool IsPerObject() const { return m_perObject; }

  private:
    std::string m_name;
    std::string m_group;
    orx::framework::ClassId m_classId;
    ValidateDelegate m_delegate;
    bool m_perObject;
};

class ValidatorRegistry {
  public:
    static ValidatorRegistry& Instance();

    void RegisterValidator(const Validator& validator);
    // Runs every validator of the class in registration order. A validator that raises is
    // reported as an error of its own and the others still run.
    void Validate(orx::framework::ClassId classId, ValidationContext& context) const;

  private:
    std::vector<Validator> m_validators;
};

}  // namespace orx::core
