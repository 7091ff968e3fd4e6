#include <orx/framework/HandleRegistry.h>

#include <orx/framework/Exceptions.h>

namespace orx::framework {

// Handles 1 and 2 are reserved for the system and the project objects.
CHandleRegistry::CHandleRegistry() : m_next(ORX_PROJECT_HANDLE + 1) {
    m_objects.reserve(1024);
}

CHandleRegistry& CHandleRegistry::Instance() {
    // Never destroyed: objects that go during static destruction still find it, and the root
    // objects it holds for the whole process stay reachable.
    static CHandleRegistry* const instance = new CHandleRegistry();
    return *instance;
}

void CHandleRegistry::Add(Handle handle, CScriptable* object) {
    if (handle == NULL_HANDLE)
        throw COrxLogicError("CHandleRegistry: handle 0 is not valid");
    if (handle >= m_objects.size())
        m_objects.resize(static_cast<size_t>(handle) * 2 + 16, nullptr);
    if (m_objects[handle] && m_objects[handle] != object) {
        throw COrxLogicError("CHandleRegistry: handle " + std::to_string(handle) +
                             " is already in use");
    }
    if (!m_objects[handle])
        ++m_count;
    m_objects[handle] = object;
}

void CHandleRegistry::Remove(Handle handle) {
    if (handle < m_objects.size() && m_objects[handle]) {
        m_objects[handle] = nullptr;
        --m_count;
    }
}

std::vector<CScriptable*> CHandleRegistry::GetAll() const {
    std::vector<CScriptable*> all;
    all.reserve(m_count);
    for (CScriptable* object : m_objects) {
        if (object)
            all.push_back(object);
    }
    return all;
}

}  // namespace orx::framework
