#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include <orx/framework/Command.h>
#include <orx/framework/Scriptable.h>
#include <orx/ids/core.h>

namespace orx::core {

using orx::framework::CScriptable;
using orx::framework::ScriptableVec;

// A protocol the host starts, stops and clears as a whole or for selected objects.
class CProtocol {
  public:
    struct ControlMessage {
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };

    virtual ~CProtocol() = default;

    virtual uint32_t GetId() const = 0;
    virtual std::string GetName() const = 0;
    virtual std::string GetCategory() const = 0;
    virtual uint32_t GetCategoryStartPriority() const = 0;
    virtual uint32_t GetProtocolStartPriority() const = 0;
    virtual void ProcessControlMessage(const ControlMessage* message,
                                       const std::vector<uint32_t>& handles) = 0;
    virtual void GetManagedProtocolConfig(std::vector<uint32_t>& handles) { (void)handles; }
    virtual std::vector<uint32_t> GetManagedProtocolConfigType() const = 0;
    virtual void ClearResult() = 0;
    virtual void StartStopProtocol(bool start) = 0;
    virtual void StartStopProtocol(bool start, const std::vector<uint32_t>& handles) = 0;
    virtual bool StartStopProtocolConfigs(bool start, ScriptableVec& configs) = 0;
    virtual int EstablishProtocol(std::list<CScriptable*>& objects) {
        (void)objects;
        return 0;
    }
    virtual int AdvertiseProtocol(std::list<CScriptable*>& objects) {
        (void)objects;
        return 0;
    }
    virtual uint32_t GetProtocolTransmitOSILayer() const = 0;
    virtual uint32_t GetProtocolOperationOSILayer() const = 0;
    virtual int GetFlapEvents(std::vector<std::string>& events) const {
        (void)events;
        return 0;
    }
    virtual int ConfigureFlapCommands(const std::vector<uint32_t>& handles) {
        (void)handles;
        return 0;
    }
    virtual int GetFlappableObjectClassIds(std::vector<uint32_t>& classIds) const {
        (void)classIds;
        return 0;
    }
};

// The host's protocols, in registration order.
class CProtocolModule {
  public:
    static CProtocolModule& Instance();

    void RegisterProtocol(CProtocol& protocol);
    const std::vector<CProtocol*>& GetProtocols() const { return m_protocols; }
    CProtocol* FindProtocol(const std::string& name) const;
    // The protocol that manages objects of this class, or null.
    CProtocol* FindProtocolFor(orx::framework::ClassId configClass) const;

  private:
    std::vector<CProtocol*> m_protocols;
};

constexpr orx::framework::PropId PROP_PROTOCOL_COMMAND_HANDLES =
    orx::ids::core::ProtocolControlCommand::HandleList;

// The host's start and stop commands: run every protocol over the handles given (all
// protocols, everything, when the list is empty).
class CProtocolStartCommand : public orx::framework::CCommand {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::core::ProtocolStartCommand::kClass;
    }
    void DoRun() override;
};

class CProtocolStopCommand : public orx::framework::CCommand {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::core::ProtocolStopCommand::kClass;
    }
    void DoRun() override;
};

}  // namespace orx::core
