#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/core/PortSetUtils.h>

namespace orx::core {

using namespace orx::framework;

bool RcmKeyMgr::GetLookupKey(Handle handle, const std::string& category, std::string& key) {
    if (handle == NULL_HANDLE || category.empty())
        return false;
    key = category + "/" + std::to_string(handle);
    return true;
}

RcmDBMgr& RcmDBMgr::Instance() {
    static RcmDBMgr instance;
    return instance;
}

std::unique_ptr<Capability> RcmDBMgr::GetDBValue(const std::string& key,
                                                 const std::string& name) const {
    auto k = m_entries.find(key);
    if (k == m_entries.end())
        return nullptr;
    auto n = k->second.find(name);
    if (n == k->second.end())
        return nullptr;
    return std::make_unique<Capability>(n->second);
}

void RcmDBMgr::SetDBValue(const std::string& key, const std::string& name, Capability capability) {
    m_entries[key][name] = std::move(capability);
}

void RcmDBMgr::RemoveKey(const std::string& key) {
    m_entries.erase(key);
}

void RcmDBMgr::Clear() {
    m_entries.clear();
}

bool PortSetUtils::IsPortSet(const CPort* port) {
    return port && port->GetT<bool>(PROP_PORT_IS_PORT_SET);
}

bool PortSetUtils::IsPortSetMember(const CPort* port) {
    return port && port->GetObject(CPort::CLASS_ID(),
                                   RelationType(PORT_SET_MEMBER, DIR_BACKWARD)) != nullptr;
}

}  // namespace orx::core
