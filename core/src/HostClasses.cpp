#include <orx/core/HostClasses.h>

#include <orx/core/Capabilities.h>
#include <orx/core/PduContainer.h>
#include <orx/core/Protocol.h>
#include <orx/core/Results.h>
#include <orx/framework/Command.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>

namespace orx::core {

// The host's own data model (generated from datamodel/core.datamodel.xml).
extern const char* const kCoreDataModelXml;

using namespace orx::framework;

namespace {

template <class T>
CScriptable* Make() {
    return new T();
}
void DestroyObject(CScriptable* object) {
    delete object;
}

// The root objects live for the whole process under their reserved handles.
template <class T>
T& Root(Handle handle) {
    CScriptable* object = CHandleRegistry::Instance().Find(handle);
    if (!object)
        object = CScriptableCreator::CreateWithHandle(T::CLASS_ID(), handle, nullptr);
    T* typed = dynamic_cast<T*>(object);
    if (!typed)
        throw COrxLogicError("Handle " + std::to_string(handle) + " is not a " +
                             CMetaClassManager::Instance().GetClass(T::CLASS_ID())->GetName());
    return *typed;
}

// The host's classes join the object model as a plug-in's do: their data model (compiled in)
// and each class's make and destroy functions, when this library is loaded.
struct HostClassRegistrar {
    HostClassRegistrar() {
        std::string error;
        if (!CMetaClassManager::Instance().LoadDataModel(kCoreDataModelXml, "core data model",
                                                         &error)) {
            // The compiled-in model is part of the program; failing to read it is a build fault.
            throw COrxLogicError("The host's data model is invalid: " + error);
        }
        Register<COrxSystem>();
        Register<CProject>();
        Register<CPhysicalTestModule>();
        Register<CPhysicalPortGroup>();
        Register<CPhysicalPort>();
        Register<CPort>();
        Register<CProbe>();
        Register<CEmulatedDevice>();
        Register<CCommand>();
        Register<CTag>();
        Register<CProtocolStartCommand>();
        Register<CProtocolStopCommand>();
    }
    template <class T>
    static void Register() {
        CMetaClass::InitMakeDestroyFuncs(T::CLASS_ID(), &Make<T>, &DestroyObject);
    }
} s_hostClasses;

}  // namespace

COrxSystem& COrxSystem::Instance() {
    return Root<COrxSystem>(1);
}

CProject& CProject::Instance() {
    return Root<CProject>(ORX_PROJECT_HANDLE);
}

Delegate<CProject::ResetDelegate>& CProject::ResetListeners() {
    static Delegate<ResetDelegate> listeners;
    return listeners;
}

void CProject::RegisterOnProjectResetCompletedDelegate(const ResetDelegate& d) {
    ResetListeners() += d;
}

void CProject::UnregisterOnProjectResetCompletedDelegate(const ResetDelegate& d) {
    ResetListeners() -= d;
}

void CProject::Reset() {
    // Subscriptions name objects about to go; their test ports are told to stop first.
    CResultModule::Instance().EndAllSubscriptions();
    for (CScriptable* root :
         {static_cast<CScriptable*>(this), static_cast<CScriptable*>(&COrxSystem::Instance())}) {
        ScriptableVec children;
        root->GetAllRelated(children, RelationType(PARENT_CHILD));
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            CScriptableCreator::Destroy(*it);
        }
    }
    RcmDBMgr::Instance().Clear();  // the capabilities belonged to the destroyed test modules
    COrxSystem::Instance().SetInSimulationMode(false);
    MarkClean();
    COrxSystem::Instance().MarkClean();
    ResetListeners()();
}

void CPhysicalTestModule::SetIlTransport(std::shared_ptr<IlTransport> transport) {
    m_transport = std::move(transport);
    if (m_transport)
        CRpcManager::Instance().Attach(*m_transport);
}

CPhysicalTestModule* CPhysicalPortGroup::GetTestModule() const {
    return dynamic_cast<CPhysicalTestModule*>(GetParent());
}

CPort::~CPort() = default;

CPhysicalPort* CPort::GetPhysicalPort() const {
    return dynamic_cast<CPhysicalPort*>(
        GetObject(CPhysicalPort::CLASS_ID(), RelationType(PHYSICAL_PORT_TO_PORT, DIR_BACKWARD)));
}

CPhysicalPortGroup* CPort::GetPortGroup() const {
    CPhysicalPort* physical = GetPhysicalPort();
    return physical ? dynamic_cast<CPhysicalPortGroup*>(physical->GetParent()) : nullptr;
}

uint32_t CPort::GetPortIndex() const {
    CPhysicalPort* physical = GetPhysicalPort();
    return physical ? physical->GetIndex() : 0xFFFF;
}

Messenger* CPort::GetMessenger() const {
    CPhysicalPortGroup* group = GetPortGroup();
    CPhysicalTestModule* module = group ? group->GetTestModule() : nullptr;
    std::shared_ptr<IlTransport> transport = module ? module->GetIlTransport() : nullptr;
    if (!transport) {
        m_messenger.reset();
        return nullptr;
    }
    uint32_t index = GetPortIndex();
    if (!m_messenger || m_messenger->GetTransport() != transport ||
        m_messenger->GetDestination() != index) {
        m_messenger = std::make_unique<Messenger>(
            transport, index, group->GetEquipmentString() + "/" + std::to_string(index + 1));
    }
    return m_messenger.get();
}

const FilterPduFormatter& FilterPduFormatter::Instance() {
    static FilterPduFormatter instance;
    return instance;
}

void CPduContainer::GetFrame(std::vector<uint8_t>&, std::vector<PduPlacement>&) {
    throw COrxRunTimeError("Objects of class " + GetMetaClass().GetName() + " do not build frames");
}

const CPduFormatter& CPduContainer::GetFormatter() const {
    static CPduFormatter defaultFormatter;
    return defaultFormatter;
}

}  // namespace orx::core
