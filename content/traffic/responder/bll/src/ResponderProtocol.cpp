#include "ResponderProtocol.h"

#include "orx/framework/Exceptions.h"

namespace {

// Ids of the configuration classes the protocol manages.
constexpr uint32_t kProbeConfigClassId = 0x96002000;
constexpr uint32_t kDeviceConfigClassId = 0x96003000;

[[noreturn]] void Unavailable(const std::string& operation) {
    throw orx::framework::CCommandErrorException(
        "Responder: " + operation +
        " is not available: the start, stop and clear commands are not part of this build");
}

}  // namespace

CResponderProtocol& CResponderProtocol::Instance() {
    static CResponderProtocol instance;
    return instance;
}

void CResponderProtocol::ProcessControlMessage(const ControlMessage*,
                                               const std::vector<uint32_t>&) {}

std::vector<uint32_t> CResponderProtocol::GetManagedProtocolConfigType() const {
    return {kProbeConfigClassId, kDeviceConfigClassId};
}

void CResponderProtocol::ClearResult() {
    Unavailable("clearing results");
}

void CResponderProtocol::StartStopProtocol(bool start) {
    Unavailable(start ? "starting responders" : "stopping responders");
}

void CResponderProtocol::StartStopProtocol(bool start, const std::vector<uint32_t>&) {
    Unavailable(start ? "starting responders" : "stopping responders");
}

bool CResponderProtocol::StartStopProtocolConfigs(bool start, orx::core::ScriptableVec&) {
    Unavailable(start ? "starting responders" : "stopping responders");
}
