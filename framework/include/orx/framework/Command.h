#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <orx/framework/Scriptable.h>
#include <orx/framework/Validation.h>
#include <orx/ids/core.h>

namespace orx::framework {

constexpr PropId PROP_COMMAND_STATUS = orx::ids::core::Command::Status;

// The base of the host's commands: Execute validates, then runs.
class CCommand : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::Command::kClass; }

    // Validates the command and, when it is valid, runs it. Returns false when validation
    // failed (the status text says why). What DoRun raises passes on to the caller.
    bool Execute(bool async = false);

    virtual bool Validate(CBaseValidationContext& context);
    virtual void DoRun() {}
    virtual bool DoReset() { return true; }

    std::string GetStatus() const { return GetT<std::string>(PROP_COMMAND_STATUS); }
    void SetStatus(const std::string& text) { Set(PROP_COMMAND_STATUS, text); }

    // Replaces each handle of a tag by the handles of the objects carrying that tag.
    void ExpandInputHandleTags(std::vector<uint32_t>& handles) const;
};

// A tag objects can carry (relation 0x1000005 from the object to the tag).
class CTag : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::Tag::kClass; }
};

// Which commands the host offers for which objects.
class CCommandStatusManager {
  public:
    static CCommandStatusManager& Instance();

    void SetCommandStatus(Handle handle, ClassId commandClass, bool enabled);
    // False when nothing was recorded for the pair.
    bool GetCommandStatus(Handle handle, ClassId commandClass, bool& enabled) const;
    void Clear() {
        m_status.clear();
        m_recorded.clear();
        m_unknownRecorded = false;
    }
    // Drops the entries of objects that no longer exist.
    void PruneDestroyed();
    // Drops the entries of an object that is being destroyed.
    void Forget(Handle handle);
    size_t Size() const { return m_status.size(); }

  private:
    std::map<std::pair<Handle, uint32_t>, bool> m_status;
    // Which handles have entries, so that destroying an object without any costs no search.
    std::vector<bool> m_recorded;
    // An entry was recorded for a handle that was not live: the next prune walks every entry.
    // Otherwise entries go with their objects (Forget) and there is nothing to prune.
    bool m_unknownRecorded = false;
};

}  // namespace orx::framework
