#include <orx/framework/Command.h>

#include <orx/framework/HandleRegistry.h>

namespace orx::framework {

bool CCommand::Validate(CBaseValidationContext&) {
    return true;
}

bool CCommand::Execute(bool async) {
    (void)async;  // commands run on the calling thread
    CBaseValidationContext context;
    if (!Validate(context))
        return false;
    DoRun();
    return true;
}

void CCommand::ExpandInputHandleTags(std::vector<uint32_t>& handles) const {
    std::vector<uint32_t> expanded;
    expanded.reserve(handles.size());
    for (uint32_t h : handles) {
        CScriptable* object = CHandleRegistry::Instance().Find(h);
        if (object && object->IsTypeOf(CTag::CLASS_ID())) {
            ScriptableVec tagged;
            object->GetObjects(tagged, ANY_CLASS_ID, RelationType(USER_TAG, DIR_BACKWARD));
            for (CScriptable* t : tagged)
                expanded.push_back(t->GetObjectHandle());
        } else {
            expanded.push_back(h);
        }
    }
    handles.swap(expanded);
}

CCommandStatusManager& CCommandStatusManager::Instance() {
    // Never destroyed: objects that go during static destruction still forget their entries.
    static CCommandStatusManager* const instance = new CCommandStatusManager();
    return *instance;
}

void CCommandStatusManager::SetCommandStatus(Handle handle, ClassId commandClass, bool enabled) {
    m_status[{handle, commandClass}] = enabled;
    if (!CHandleRegistry::Instance().Find(handle)) {
        m_unknownRecorded = true;
        return;
    }
    if (handle >= m_recorded.size())
        m_recorded.resize(static_cast<size_t>(handle) * 2 + 16, false);
    m_recorded[handle] = true;
}

void CCommandStatusManager::Forget(Handle handle) {
    if (handle >= m_recorded.size() || !m_recorded[handle])
        return;
    m_recorded[handle] = false;
    for (auto it = m_status.lower_bound({handle, 0});
         it != m_status.end() && it->first.first == handle;)
        it = m_status.erase(it);
}

void CCommandStatusManager::PruneDestroyed() {
    if (!m_unknownRecorded)
        return;
    m_unknownRecorded = false;
    for (auto it = m_status.begin(); it != m_status.end();) {
        if (CHandleRegistry::Instance().Find(it->first.first)) {
            // Live now: from here on its entries go with it (Forget).
            const Handle handle = it->first.first;
            if (handle >= m_recorded.size())
                m_recorded.resize(static_cast<size_t>(handle) * 2 + 16, false);
            m_recorded[handle] = true;
            ++it;
        } else {
            it = m_status.erase(it);
        }
    }
}

bool CCommandStatusManager::GetCommandStatus(Handle handle, ClassId commandClass,
                                             bool& enabled) const {
    auto it = m_status.find({handle, commandClass});
    if (it == m_status.end())
        return false;
    enabled = it->second;
    return true;
}

}  // namespace orx::framework
