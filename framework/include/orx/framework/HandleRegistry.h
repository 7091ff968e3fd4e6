#pragma once

#include <vector>

#include <orx/framework/Types.h>

namespace orx::framework {

class CScriptable;

// Resolves handles to live objects. Handles are handed out in increasing order and never reused
// in a process, so the registry is a plain table indexed by handle.
class CHandleRegistry {
  public:
    static CHandleRegistry& Instance();

    CScriptable* Find(Handle handle) const {
        return handle < m_objects.size() ? m_objects[handle] : nullptr;
    }
    Handle GenerateHandle() { return m_next++; }
    void Add(Handle handle, CScriptable* object);
    void Remove(Handle handle);
    size_t Count() const { return m_count; }
    // Every live object, in handle order.
    std::vector<CScriptable*> GetAll() const;

  private:
    CHandleRegistry();

    std::vector<CScriptable*> m_objects;
    Handle m_next;
    size_t m_count = 0;
};

}  // namespace orx::framework
