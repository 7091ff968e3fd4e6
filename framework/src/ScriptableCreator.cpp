#include <orx/framework/ScriptableCreator.h>

#include <sstream>

#include <orx/framework/HandleRegistry.h>

namespace orx::framework {

namespace {

std::string Hex(uint32_t v) {
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

CScriptable* MakeObject(const CMetaClass& mc) {
    if (mc.IsAbstract() && !mc.HasMakeFunc()) {
        throw COrxLogicError("Trying to create an abstract class : " + mc.GetName());
    }
    CScriptable* object = nullptr;
    if (mc.HasMakeFunc()) {
        object = mc.Make();
    } else if (mc.GetClassId().GetPluginId() == 0) {
        // Host classes without behaviour of their own are plain objects.
        object = new CScriptable();
    } else {
        throw COrxLogicError("No make function registered for class " + mc.GetName() + " (" +
                             Hex(mc.GetClassId()) + ")");
    }
    if (!object) {
        throw COrxLogicError("The make function of class " + mc.GetName() + " made no object");
    }
    return object;
}

CScriptable* Place(const CMetaClass& mc, Handle handle, CScriptable* parent, bool init) {
    CScriptable* object = MakeObject(mc);
    object->InitFromMetaClass(mc, handle);
    CHandleRegistry::Instance().Add(handle, object);
    try {
        if (object->GetT<std::string>(PROP_NAME).empty()) {
            object->SetValues(PROP_NAME,
                              {PropertyScalar(mc.GetName() + " " + std::to_string(handle))});
        }
        object->SetObjectState(ObjectState::CREATED);
        if (parent)
            object->SetParent(parent);
        if (init && !object->OnInit()) {
            throw COrxLogicError("Initialisation of a new " + mc.GetName() + " object failed");
        }
    } catch (...) {
        CScriptableCreator::Destroy(object);
        throw;
    }
    return object;
}

}  // namespace

void ScriptableDeleter::operator()(CScriptable* object) const {
    CScriptableCreator::Destroy(object);
}

CScriptable* CScriptableCreator::Create(ClassId classId, CScriptable* parent, bool init) {
    const CMetaClass* mc = CMetaClassManager::Instance().GetClass(classId);
    if (!mc)
        throw COrxLogicError("Unknown class id " + Hex(classId));
    return Place(*mc, CHandleRegistry::Instance().GenerateHandle(), parent, init);
}

CScriptable* CScriptableCreator::Create(const std::string& className, CScriptable* parent,
                                        bool init) {
    const CMetaClass* mc = CMetaClassManager::Instance().GetClass(className);
    if (!mc)
        throw COrxLogicError("Unknown class " + className);
    return Place(*mc, CHandleRegistry::Instance().GenerateHandle(), parent, init);
}

CScriptable* CScriptableCreator::CreateWithHandle(ClassId classId, Handle handle,
                                                  CScriptable* parent) {
    const CMetaClass* mc = CMetaClassManager::Instance().GetClass(classId);
    if (!mc)
        throw COrxLogicError("Unknown class id " + Hex(classId));
    return Place(*mc, handle, parent, true);
}

void CScriptableCreator::Destroy(CScriptable* object) {
    if (!object)
        return;
    // Children go first, last child first, so their parent is intact while they are destroyed.
    ScriptableVec children;
    object->GetAllRelated(children, RelationType(PARENT_CHILD));
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        Destroy(*it);
    const CMetaClass* mc = nullptr;
    try {
        mc = &object->GetMetaClass();
    } catch (const COrxLogicError&) {
        mc = nullptr;
    }
    if (mc) {
        mc->Destroy(object);
    } else {
        delete object;
    }
}

}  // namespace orx::framework
