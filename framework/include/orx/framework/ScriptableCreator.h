#pragma once

#include <memory>
#include <string>

#include <orx/framework/Scriptable.h>

namespace orx::framework {

class CScriptableCreator;

// Destroys an object the way the host does (descendants first, through the class's destroy
// function).
struct ScriptableDeleter {
    void operator()(CScriptable* object) const;
};

template <class T>
using CScriptableAutoPtr = std::unique_ptr<T, ScriptableDeleter>;

class CScriptableCreator {
  public:
    // Makes an object of a class through its meta class's make function, gives it a handle and
    // its default properties, places it under `parent` and calls OnInit. Raises COrxLogicError
    // for an unknown or abstract class, passes on what the make function or OnInit raises (the
    // half-made object is destroyed first).
    static CScriptable* Create(ClassId classId, CScriptable* parent, bool init = true);
    static CScriptable* Create(const std::string& className, CScriptable* parent, bool init = true);
    // Same with a reserved handle (the host's root objects).
    static CScriptable* CreateWithHandle(ClassId classId, Handle handle, CScriptable* parent);

    // Creates a T (by T::CLASS_ID()) owned by the returned pointer.
    template <class T>
    static CScriptableAutoPtr<T> CreateAPT(CScriptable* parent = nullptr, bool genHandle = true,
                                           bool init = true, uint32_t flags = 0) {
        (void)genHandle;
        (void)flags;
        CScriptable* object = Create(T::CLASS_ID(), parent, init);
        T* typed = dynamic_cast<T*>(object);
        if (!typed) {
            Destroy(object);
            throw COrxLogicError("CreateAPT: class " + std::to_string(T::CLASS_ID()) +
                                 " made an object of another type");
        }
        return CScriptableAutoPtr<T>(typed);
    }

    // Destroys the object and its descendants at once (no deferred deletion).
    static void Destroy(CScriptable* object);
};

}  // namespace orx::framework
