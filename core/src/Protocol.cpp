#include <orx/core/Protocol.h>

#include <algorithm>

#include <orx/core/Results.h>

namespace orx::core {

using namespace orx::framework;

CProtocolModule& CProtocolModule::Instance() {
    static CProtocolModule instance;
    return instance;
}

void CProtocolModule::RegisterProtocol(CProtocol& protocol) {
    if (std::find(m_protocols.begin(), m_protocols.end(), &protocol) == m_protocols.end()) {
        m_protocols.push_back(&protocol);
    }
}

CProtocol* CProtocolModule::FindProtocol(const std::string& name) const {
    for (CProtocol* p : m_protocols) {
        if (p->GetName() == name)
            return p;
    }
    return nullptr;
}

CProtocol* CProtocolModule::FindProtocolFor(ClassId configClass) const {
    for (CProtocol* p : m_protocols) {
        for (uint32_t id : p->GetManagedProtocolConfigType()) {
            if (id == configClass)
                return p;
        }
    }
    return nullptr;
}

namespace {

void RunProtocols(const CCommand& command, bool start) {
    std::vector<uint32_t> handles;
    command.GetCollection(PROP_PROTOCOL_COMMAND_HANDLES, handles);
    for (CProtocol* p : CProtocolModule::Instance().GetProtocols()) {
        if (handles.empty()) {
            p->StartStopProtocol(start);
        } else {
            p->StartStopProtocol(start, handles);
        }
    }
}

}  // namespace

void CProtocolStartCommand::DoRun() {
    RunProtocols(*this, true);
}

void CProtocolStopCommand::DoRun() {
    RunProtocols(*this, false);
    // Stopping everything ends the test: its counters are saved if a results file is set.
    std::vector<uint32_t> handles;
    GetCollection(PROP_PROTOCOL_COMMAND_HANDLES, handles);
    if (handles.empty())
        CResultModule::Instance().OnTestStopped();
}

}  // namespace orx::core
