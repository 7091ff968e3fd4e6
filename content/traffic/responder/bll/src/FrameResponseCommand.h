#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/framework/Command.h>
#include <orx/framework/Rpc.h>
#include <orx/ids/responder.h>

class Message;

namespace orx::responder {

class CBaseFrameResponseConfig;

// The base of the start and stop commands: expands its handle list into configurations, sends
// one request per port, waits for every answer and records the configurations' new running
// state. Also keeps, for every configuration, which of the start and stop commands the host
// offers for it.
class CFrameResponseCommand : public orx::framework::CCommand {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::FrameResponseCommand::kClass;
    }
    static constexpr orx::framework::PropId PROP_CONFIG_LIST =
        orx::ids::responder::FrameResponseCommand::ConfigList;
    static constexpr orx::framework::ClassId START_COMMAND_CLASS_ID =
        orx::ids::responder::FrameResponseStartCommand::kClass;
    static constexpr orx::framework::ClassId STOP_COMMAND_CLASS_ID =
        orx::ids::responder::FrameResponseStopCommand::kClass;

    bool OnInit() override;
    bool Validate(orx::framework::CBaseValidationContext& context) override;
    void DoRun() override;
    bool DoReset() override;

    // Fills the request for one port's configuration handles.
    virtual void SetupMessage(Message* message, const std::vector<uint32_t>& handles) = 0;
    // True when, after this command has run, the start commands are the ones to offer.
    virtual bool StateAfterCompletion() const = 0;

    std::vector<uint32_t> GetConfigList() const;
    void SetConfigList(const std::vector<uint32_t>& handles);
    // Expands the handle list (configurations, probes, devices, ports, tags, the project) into
    // configurations; the invalid handles become those of this list that name nothing usable.
    void GetConfigList(std::vector<CBaseFrameResponseConfig*>& configs);
    const std::vector<uint32_t>& GetInvalidHandles() const { return m_invalidHandles; }
    void SetCommandStatus(std::vector<CBaseFrameResponseConfig*> configs);

    // Groups the active configurations whose port is usable (online, or any in simulation mode)
    // by port.
    static void PopulatePortMap(std::vector<CBaseFrameResponseConfig*> configs,
                                std::map<orx::core::CPort*, std::vector<uint32_t>>& portMap);
    // Called when a configuration is initialised, (de)activated, or its port goes on or off
    // line: makes it unavailable or offers the start commands.
    static void HandleActivate(CBaseFrameResponseConfig& config, bool onlineChange);
    // Sets Running and the command statuses of each handle: after a start (startEnabled false)
    // running with the stop commands offered, after a stop the reverse; unavailable: all off.
    static void SetStartStop(std::vector<uint32_t>& handles, bool startEnabled, bool unavailable);
    // Logs the faults of a wait at error level on the developer logger: "<who> received
    // error(s)", then one numbered line per fault.
    static void LogFaults(const std::string& who,
                          const std::vector<orx::framework::ErrorMsg>& errors);
    // A request could not be sent: waits for those already sent, logs their faults, then
    // raises "<who>: Failed to send command message".
    [[noreturn]] static void FailSend(const std::string& who);

  private:
    std::vector<uint32_t> m_invalidHandles;
};

}  // namespace orx::responder
