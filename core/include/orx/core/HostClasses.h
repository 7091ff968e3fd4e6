#pragma once

// The host's own object classes: the system, the project, ports and the equipment they sit on.

#include <memory>
#include <string>

#include <orx/framework/FastDelegate.h>
#include <orx/framework/Scriptable.h>
#include <orx/ids/core.h>

namespace orx::framework {
class Messenger;
class IlTransport;
}  // namespace orx::framework

namespace orx::core {

using orx::framework::ClassId;
using orx::framework::CScriptable;
using orx::framework::PropId;

// Property ids of the host's data model.
constexpr PropId PROP_SYSTEM_IN_SIMULATION_MODE = orx::ids::core::System::InSimulationMode;
constexpr PropId PROP_PORT_ONLINE = orx::ids::core::Port::Online;
constexpr PropId PROP_PORT_IS_PORT_SET = orx::ids::core::Port::IsPortSet;
constexpr PropId PROP_PHYSICAL_PORT_INDEX = orx::ids::core::PhysicalPort::Index;
constexpr PropId PROP_PORT_GROUP_LOCATION = orx::ids::core::PhysicalPortGroup::Location;
constexpr PropId PROP_TEST_MODULE_MODEL = orx::ids::core::PhysicalTestModule::Model;
constexpr PropId PROP_PDU_FRAME_CONFIG = orx::ids::core::PduContainer::FrameConfig;

class COrxSystem : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::System::kClass; }
    // The system object, handle 1, made on first use.
    static COrxSystem& Instance();

    bool GetInSimulationMode() const { return GetT<bool>(PROP_SYSTEM_IN_SIMULATION_MODE); }
    void SetInSimulationMode(bool on) { Set(PROP_SYSTEM_IN_SIMULATION_MODE, on); }
};

class CProject : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::Project::kClass; }
    // The project object, handle 2 (ORX_PROJECT_HANDLE), made on first use.
    static CProject& Instance();

    using ResetDelegate = orx::framework::FastDelegate0<void>;
    static void RegisterOnProjectResetCompletedDelegate(const ResetDelegate& d);
    static void UnregisterOnProjectResetCompletedDelegate(const ResetDelegate& d);

    // Destroys every object of the test (the project's descendants and the equipment under the
    // system), then tells the registered listeners.
    void Reset();

  private:
    static orx::framework::Delegate<ResetDelegate>& ResetListeners();
};

class CPhysicalTestModule;
class CPhysicalPortGroup;

// Something that has a place in the test equipment.
class ManageEquipment {
  public:
    virtual ~ManageEquipment() = default;
    // Location text such as "//10.1.1.1/2".
    virtual std::string GetEquipmentString() const = 0;
};

class CPhysicalTestModule : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::PhysicalTestModule::kClass; }

    // The IL that serves this module's ports; null until one is attached.
    std::shared_ptr<orx::framework::IlTransport> GetIlTransport() const { return m_transport; }
    void SetIlTransport(std::shared_ptr<orx::framework::IlTransport> transport);

  private:
    std::shared_ptr<orx::framework::IlTransport> m_transport;
};

class CPhysicalPortGroup : public CScriptable, public ManageEquipment {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::PhysicalPortGroup::kClass; }
    CPhysicalTestModule* GetTestModule() const;
    std::string GetEquipmentString() const override {
        return GetT<std::string>(PROP_PORT_GROUP_LOCATION);
    }
};

class CPhysicalPort : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::PhysicalPort::kClass; }
    uint16_t GetIndex() const { return GetT<uint16_t>(PROP_PHYSICAL_PORT_INDEX); }
};

class CPort : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::Port::kClass; }
    ~CPort() override;

    bool GetOnline() const { return GetT<bool>(PROP_PORT_ONLINE); }
    // The physical port related to this port (relation 0x1000001, backward), or null.
    CPhysicalPort* GetPhysicalPort() const;
    // The port group: the parent of the physical port, or null.
    CPhysicalPortGroup* GetPortGroup() const;
    // The port's index on its test module; 0xFFFF when it sits on no physical port.
    uint32_t GetPortIndex() const;
    // Addresses the IL of the port's test module; null when the port has no IL.
    orx::framework::Messenger* GetMessenger() const;

  private:
    mutable std::unique_ptr<orx::framework::Messenger> m_messenger;
};

class CProbe : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::Probe::kClass; }
};

class CEmulatedDevice : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::EmulatedDevice::kClass; }
};

}  // namespace orx::core
