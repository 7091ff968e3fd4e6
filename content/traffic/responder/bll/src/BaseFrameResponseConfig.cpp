#include "BaseFrameResponseConfig.h"

#include <algorithm>

#include <orx/core/PortSetUtils.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Resources.h>
#include "FrameResponseCommand.h"
#include "FrameResponseProfile.h"
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::framework;
using orx::core::CEmulatedDevice;
using orx::core::CPort;
using orx::core::CProject;

std::set<unsigned int> CBaseFrameResponseConfig::s_onlineSet;
std::set<unsigned int> CBaseFrameResponseConfig::s_offlineSet;
std::set<unsigned int> CBaseFrameResponseConfig::s_movedSet;
PropId CBaseFrameResponseConfig::s_portOnlinePropId = 0;
bool CBaseFrameResponseConfig::s_regCompleted = false;

namespace {

CScriptable* MakeAbstract() {
    throw COrxLogicError("Trying to create an abstract class : CBaseFrameResponseConfig");
}
void DestroyAbstract(CScriptable*) {}

struct CBaseFrameResponseConfigCtorDtorHelper {
    CBaseFrameResponseConfigCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CBaseFrameResponseConfig::CLASS_ID(), &MakeAbstract,
                                         &DestroyAbstract);
    }
} s_registrar;

}  // namespace

const CMetaClass& CBaseFrameResponseConfig::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

CBaseFrameResponseConfig::CBaseFrameResponseConfig() {
    if (!s_regCompleted) {
        CProject::RegisterOnProjectResetCompletedDelegate(
            &CBaseFrameResponseConfig::OnProjResetComplete);
        s_regCompleted = true;
    }
}

CBaseFrameResponseConfig::~CBaseFrameResponseConfig() {
    Handle h = GetObjectHandle();
    s_movedSet.erase(h);
    s_offlineSet.erase(h);
    s_onlineSet.erase(h);
    m_portOnlineDelegate.clear();
    m_parentRelDelegate.clear();
}

const CMetaClass& CBaseFrameResponseConfig::GetMetaClass() const {
    return CScriptable::GetMetaClass();
}

const orx::core::CPduFormatter& CBaseFrameResponseConfig::GetFormatter() const {
    return orx::core::FilterPduFormatter::Instance();
}

CPort* CBaseFrameResponseConfig::GetPort() const {
    if (m_portHandle != 0) {
        if (auto* port = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(m_portHandle))) {
            return port;
        }
    }
    CScriptable* current = GetParent();
    while (true) {
        if (!current || current->IsTypeOf(CProject::CLASS_ID())) {
            m_portHandle = 0;
            return nullptr;
        }
        if (current->IsTypeOf(CEmulatedDevice::CLASS_ID())) {
            current =
                current->GetObject(CPort::CLASS_ID(), RelationType(DEVICE_TO_PORT, DIR_FORWARD));
            continue;  // the same tests apply to the device's port
        }
        if (auto* port = dynamic_cast<CPort*>(current)) {
            m_portHandle = port->GetObjectHandle();
            return port;
        }
        current = current->GetParent();
    }
}

bool CBaseFrameResponseConfig::HasValidFilter(std::string* reason) {
    std::string why;
    if (!GetUseFrameConfigFilter()) {
        if (!GetStringRef(PROP_FILTER).empty())
            return true;
        why = "Filter is empty";
    } else {
        why = ParseFrameXml();
        if (why.empty()) {
            // A frame that parses but cannot be built is a reason like any other, not a fault
            // that leaves validation.
            try {
                why = FindEmptyElements();
            } catch (const COrxRunTimeError& e) {
                why = e.what();
            }
        }
        if (why.empty())
            return true;
    }
    if (reason)
        *reason = why;
    return false;
}

std::string CBaseFrameResponseConfig::GetFilterValue() {
    return GetUseFrameConfigFilter() ? ConvertToTcpdumpFilter() : GetFilter();
}

void CBaseFrameResponseConfig::GetActiveProfiles(std::vector<CFrameResponseProfile*>& out) {
    GetObjects(out, CFrameResponseProfile::CLASS_ID(), RelationType(PARENT_CHILD, DIR_FORWARD));
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](CFrameResponseProfile* p) { return !p || !p->GetActive(); }),
              out.end());
}

std::string CBaseFrameResponseConfig::GetDisplayName() const {
    const CScriptable* parent = GetParent();
    return parent ? parent->GetName() : GetName();
}

void CBaseFrameResponseConfig::SetOfflineState() {
    s_onlineSet.erase(GetObjectHandle());
    s_offlineSet.insert(GetObjectHandle());
}

bool CBaseFrameResponseConfig::OnInit() {
    s_offlineSet.insert(GetObjectHandle());
    if (s_portOnlinePropId == 0) {
        if (const CMetaClass* portClass =
                CMetaClassManager::Instance().GetClass(CPort::CLASS_ID())) {
            if (const CMetaProperty* online = portClass->FindProperty("Online")) {
                s_portOnlinePropId = online->GetId();
            }
        }
    }
    m_portOnlineDelegate = MakeDelegate(this, &CBaseFrameResponseConfig::OnlineChangeHandler);
    m_parentRelDelegate = MakeDelegate(this, &CBaseFrameResponseConfig::ParentRelChangeHandler);

    CScriptable* parent = GetParent();
    ORX_ASSERT(parent, "Did not properly retrieve parent object");
    parent->RegisterRelationChangeDelegate(m_parentRelDelegate);
    // Its own change of parent moves it as a change of the parent's port does.
    RegisterRelationChangeDelegate(m_parentRelDelegate);
    if (CPort* port = GetPort()) {
        port->RegisterPropertyChangeDelegate(s_portOnlinePropId, m_portOnlineDelegate);
    }
    CFrameResponseCommand::HandleActivate(*this, false);
    return true;
}

void CBaseFrameResponseConfig::OnlineChangeHandler(CScriptable* port, PropId) {
    auto* p = dynamic_cast<CPort*>(port);
    if (p && p->GetT<bool>(orx::core::PROP_PORT_ONLINE)) {
        const bool cameOnline = s_onlineSet.count(GetObjectHandle()) == 0;
        s_offlineSet.erase(GetObjectHandle());
        s_onlineSet.insert(GetObjectHandle());
        // Applies left it out while its port was offline and still marked it applied: the next
        // apply has to send it. A deleted configuration stays deleted.
        if (cameOnline && GetObjectState() == ObjectState::CLEAN)
            SetObjectState(ObjectState::MODIFIED);
    } else {
        SetOfflineState();
    }
    CFrameResponseCommand::HandleActivate(*this, true);
}

void CBaseFrameResponseConfig::ParentRelChangeHandler(CScriptable& source, CScriptable& related,
                                                      RelationType relationType, bool added) {
    if (&source == this) {
        // The configuration itself went to another parent: it leaves its port and follows the
        // new parent, whose relations it listens to from now on.
        if (relationType.id != PARENT_CHILD || relationType.dir != DIR_BACKWARD)
            return;
        if (!added) {
            related.UnregisterRelationChangeDelegate(m_parentRelDelegate);
            if (CPort* port = GetPort())
                DetachFromPort(*port);
            return;
        }
        related.RegisterRelationChangeDelegate(m_parentRelDelegate);
        m_portHandle = 0;
        if (CPort* port = GetPort())
            AttachToPort(*port);
        return;
    }
    auto* port = dynamic_cast<CPort*>(&related);
    if (!port)
        return;
    if (added) {
        AttachToPort(*port);
    } else {
        DetachFromPort(*port);
    }
}

void CBaseFrameResponseConfig::AttachToPort(CPort& port) {
    m_portHandle = port.GetObjectHandle();
    port.RegisterPropertyChangeDelegate(s_portOnlinePropId, m_portOnlineDelegate);
}

void CBaseFrameResponseConfig::DetachFromPort(CPort& port) {
    port.UnregisterPropertyChangeDelegate(s_portOnlinePropId, m_portOnlineDelegate);
    // Keep the first port the configuration was taken from until the move reaches the IL: a
    // move from A to B to C must still remove it from A.
    if (m_previousPortHandle == 0 || s_movedSet.count(GetObjectHandle()) == 0) {
        m_previousPortHandle = m_portHandle != 0 ? m_portHandle : port.GetObjectHandle();
    }
    s_movedSet.insert(GetObjectHandle());
    m_portHandle = 0;
    SetOfflineState();
}

void CBaseFrameResponseConfig::ForgetMove() {
    s_movedSet.erase(GetObjectHandle());
    m_previousPortHandle = 0;
}

void CBaseFrameResponseConfig::OnPropertyModified(Property& property) {
    if (property.GetName() == "Active")
        CFrameResponseCommand::HandleActivate(*this, false);
    CResponderContainer::OnPropertyModified(property);
}

bool CBaseFrameResponseConfig::OnMarkDelete() {
    if (auto* port = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(m_portHandle))) {
        port->UnregisterPropertyChangeDelegate(s_portOnlinePropId, m_portOnlineDelegate);
    }
    if (CScriptable* parent = GetParent())
        parent->UnregisterRelationChangeDelegate(m_parentRelDelegate);
    UnregisterRelationChangeDelegate(m_parentRelDelegate);
    return true;
}

void CBaseFrameResponseConfig::ValidateConfig(orx::core::ValidationContext& context) {
    const std::string display = GetDisplayName();

    std::string reason;
    if (!HasValidFilter(&reason)) {
        ResourceFormatter message(MSG_INVALID_FILTER);
        message << display << reason;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }

    std::vector<CFrameResponseProfile*> profiles;
    GetActiveProfiles(profiles);
    if (profiles.empty()) {
        ResourceFormatter message(MSG_NO_PROFILES);
        message << display;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }
    for (CFrameResponseProfile* profile : profiles)
        profile->ValidateProfile(context);

    std::string frameError = ParseFrameXml();
    if (!frameError.empty()) {
        ResourceFormatter message(MSG_INVALID_FRAME_CONFIG);
        message << GetName() << frameError;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }

    CPort* port = GetPort();
    ORX_ASSERT(port, "Did not properly retrieve port object");
    if (orx::core::PortSetUtils::IsPortSet(port)) {
        ResourceFormatter message(MSG_AGGREGATE_PORT);
        message << display;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }
}

bool CBaseFrameResponseConfig::GetConfigList(std::vector<CBaseFrameResponseConfig*>& out,
                                             std::set<unsigned int>& handles) {
    if (handles.empty())
        return false;
    size_t before = out.size();
    out.reserve(before + handles.size());
    // Dead handles are erased in place; the live ones stay where they are.
    for (auto it = handles.begin(); it != handles.end();) {
        if (auto* config =
                dynamic_cast<CBaseFrameResponseConfig*>(CHandleRegistry::Instance().Find(*it))) {
            out.push_back(config);
            ++it;
        } else {
            it = handles.erase(it);
        }
    }
    return out.size() > before;
}

bool CBaseFrameResponseConfig::GetOnlineConfigList(std::vector<CBaseFrameResponseConfig*>& out,
                                                   bool includeOffline) {
    bool online = GetConfigList(out, s_onlineSet);
    bool offline = includeOffline && GetConfigList(out, s_offlineSet);
    return online || offline;
}

bool CBaseFrameResponseConfig::GetOfflineConfigList(std::vector<CBaseFrameResponseConfig*>& out) {
    return GetConfigList(out, s_offlineSet);
}

bool CBaseFrameResponseConfig::GetMovedConfigList(std::vector<CBaseFrameResponseConfig*>& out) {
    return GetConfigList(out, s_movedSet);
}

void CBaseFrameResponseConfig::ResetMovedConfig() {
    std::vector<CBaseFrameResponseConfig*> moved;
    GetMovedConfigList(moved);
    for (CBaseFrameResponseConfig* config : moved)
        config->m_previousPortHandle = 0;
    s_movedSet.clear();
}

bool CBaseFrameResponseConfig::NoneCreated() {
    return s_onlineSet.empty() && s_offlineSet.empty();
}

void CBaseFrameResponseConfig::OnProjResetComplete() {
    s_movedSet.clear();
    s_offlineSet.clear();
    s_onlineSet.clear();
}

}  // namespace orx::responder
