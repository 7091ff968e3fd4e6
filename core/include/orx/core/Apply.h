#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include <orx/core/Validation.h>
#include <orx/framework/FastDelegate.h>
#include <orx/framework/Scriptable.h>

namespace orx::core {

// What one apply did: the objects its handlers report as processed.
class ApplyContext {
  public:
    void AddProcessedObject(orx::framework::CScriptable* object, bool applied);
    const std::vector<orx::framework::Handle>& GetProcessed() const { return m_processed; }
    bool WasProcessed(orx::framework::Handle handle) const;

  private:
    std::vector<orx::framework::Handle> m_processed;
    std::unordered_set<orx::framework::Handle> m_seen;
};

using ApplyDelegate = orx::framework::FastDelegate1<ApplyContext&, void>;

class ApplyObjectHandler {
  public:
    ApplyObjectHandler(std::string name, std::string key, orx::framework::ClassId classId,
                       ApplyDelegate delegate, bool perObject);

    const std::string& GetName() const { return m_name; }
    const std::string& GetKey() const { return m_key; }
    orx::framework::ClassId GetClassId() const { return m_classId; }
    const ApplyDelegate& GetDelegate() const { return m_delegate; }
    bool IsPerObject() const { return m_perObject; }

  private:
    std::string m_name;
    std::string m_key;
    orx::framework::ClassId m_classId;
    ApplyDelegate m_delegate;
    bool m_perObject;
};

class ApplyToILHandlerRegistry {
  public:
    static ApplyToILHandlerRegistry& Instance();
    void RegisterOnApplyObjectHandler(const ApplyObjectHandler& handler);
    const std::vector<ApplyObjectHandler>& GetHandlers() const { return m_handlers; }

  private:
    std::vector<ApplyObjectHandler> m_handlers;
};

struct ApplyResult {
    bool ok = false;
    // Validation messages (a failed validation stops before any handler runs).
    std::vector<orx::framework::ValidationMessage> messages;
    // The text of the exception that failed the apply.
    std::string error;
};

// The host's validate-and-apply flow for the project.
class ProjectApply {
  public:
    // Runs the project's validators.
    static ApplyResult Validate();
    // Validates; on any error stops. Otherwise runs the project's apply handlers in
    // registration order. On success every object becomes clean and deleted objects are
    // destroyed; when a handler raises, only the objects it reported as processed are committed.
    static ApplyResult Apply();
};

}  // namespace orx::core
