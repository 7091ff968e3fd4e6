#include <orx/core/Validation.h>

#include <orx/framework/Exceptions.h>
#include <orx/framework/Logger.h>

namespace orx::core {

using namespace orx::framework;

Validator::Validator(std::string name, std::string group, ClassId classId,
                     ValidateDelegate delegate, bool perObject)
    : m_name(std::move(name)),
      m_group(std::move(group)),
      m_classId(classId),
      m_delegate(delegate),
      m_perObject(perObject) {}

ValidatorRegistry& ValidatorRegistry::Instance() {
    static ValidatorRegistry instance;
    return instance;
}

void ValidatorRegistry::RegisterValidator(const Validator& validator) {
    m_validators.push_back(validator);
}

void ValidatorRegistry::Validate(ClassId classId, ValidationContext& context) const {
    const std::vector<Validator> validators = m_validators;
    for (const Validator& v : validators) {
        if (v.GetClassId() != classId || v.GetDelegate().empty())
            continue;
        try {
            v.GetDelegate()(context);
        } catch (const std::exception& e) {
            // A validator that breaks must not let the apply go ahead: its failure is an error.
            context.AddValidationError(v.GetName(), v.GetName() + " failed: " + e.what());
            BLLLogger* log = BLLLoggerFactory::GetInstance()->GetLogger("framework.validation");
            if (log->IsEnabledFor(LOG_ERROR)) {
                log->Error(v.GetName() + " failed: " + e.what(), __FILE__, __LINE__);
            }
        }
    }
}

}  // namespace orx::core
