#include <orx/core/Apply.h>

#include <algorithm>

#include <orx/core/HostClasses.h>
#include <orx/core/Results.h>
#include <orx/framework/Command.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/ScriptableCreator.h>

namespace orx::core {

using namespace orx::framework;

namespace {

BLLLogger* applyLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("framework.apply");
    return logger;
}

void CleanTree(CScriptable& object) {
    object.MarkClean();
    ScriptableVec children;
    object.GetAllRelated(children, RelationType(PARENT_CHILD));
    for (CScriptable* child : children) {
        if (!child->IsDeleted())
            CleanTree(*child);
    }
}

// Destroys deleted objects whose parent is not itself deleted (their descendants go with them).
void DestroyDeleted(const std::vector<CScriptable*>& candidates) {
    std::vector<Handle> roots;
    for (CScriptable* object : candidates) {
        if (!object->IsDeleted())
            continue;
        CScriptable* parent = object->GetParent();
        if (parent && parent->IsDeleted())
            continue;
        roots.push_back(object->GetObjectHandle());
    }
    // Newest first, so later objects that may refer to older ones go before them.
    std::sort(roots.rbegin(), roots.rend());
    for (Handle h : roots) {
        if (CScriptable* object = CHandleRegistry::Instance().Find(h)) {
            CScriptableCreator::Destroy(object);
        }
    }
}

}  // namespace

void ApplyContext::AddProcessedObject(CScriptable* object, bool applied) {
    if (!object || !applied)
        return;
    if (m_seen.insert(object->GetObjectHandle()).second)
        m_processed.push_back(object->GetObjectHandle());
}

bool ApplyContext::WasProcessed(Handle handle) const {
    return m_seen.count(handle) != 0;
}

ApplyObjectHandler::ApplyObjectHandler(std::string name, std::string key, ClassId classId,
                                       ApplyDelegate delegate, bool perObject)
    : m_name(std::move(name)),
      m_key(std::move(key)),
      m_classId(classId),
      m_delegate(delegate),
      m_perObject(perObject) {}

ApplyToILHandlerRegistry& ApplyToILHandlerRegistry::Instance() {
    static ApplyToILHandlerRegistry instance;
    return instance;
}

void ApplyToILHandlerRegistry::RegisterOnApplyObjectHandler(const ApplyObjectHandler& handler) {
    m_handlers.push_back(handler);
}

ApplyResult ProjectApply::Validate() {
    CProject::Instance();
    ValidationContext context;
    ValidatorRegistry::Instance().Validate(CProject::CLASS_ID(), context);
    ApplyResult result;
    result.messages = context.GetMessages();
    result.ok = !context.HasErrors();
    return result;
}

ApplyResult ProjectApply::Apply() {
    ApplyResult result = Validate();
    if (!result.ok) {
        result.error = "Validation failed";
        return result;
    }
    ApplyContext context;
    const std::vector<ApplyObjectHandler> handlers =
        ApplyToILHandlerRegistry::Instance().GetHandlers();
    try {
        for (const ApplyObjectHandler& h : handlers) {
            if (h.GetClassId() != CProject::CLASS_ID() || h.GetDelegate().empty())
                continue;
            h.GetDelegate()(context);
        }
    } catch (const std::exception& e) {
        result.ok = false;
        result.error = e.what();
        if (applyLogger()->IsEnabledFor(LOG_ERROR)) {
            applyLogger()->Error("Apply failed: " + result.error, __FILE__, __LINE__);
        }
        // What reached the IL before the failure is committed; the rest stays dirty.
        std::vector<CScriptable*> processed;
        for (Handle h : context.GetProcessed()) {
            if (CScriptable* object = CHandleRegistry::Instance().Find(h)) {
                if (!object->IsDeleted())
                    CleanTree(*object);
                processed.push_back(object);
            }
        }
        DestroyDeleted(processed);
        CCommandStatusManager::Instance().PruneDestroyed();
        return result;
    }
    std::vector<CScriptable*> all = CHandleRegistry::Instance().GetAll();
    for (CScriptable* object : all) {
        if (!object->IsDeleted())
            object->MarkClean();
    }
    DestroyDeleted(all);
    // A long-lived host keeps nothing about the objects this apply destroyed.
    CCommandStatusManager::Instance().PruneDestroyed();
    result.ok = true;
    // Subscriptions whose configurations changed pick up what this apply put on the ports.
    CResultModule::Instance().RefreshDirtySubscriptions();
    return result;
}

}  // namespace orx::core
