#pragma once

// The host's own object classes: the system, the project, ports and the equipment they sit on.

#include <memory>
#include <string>

#include "orx/framework/FastDelegate.h"
#include "orx/framework/Scriptable.h"

namespace orx::framework {
class Messenger;
class IlTransport;
}  // namespace orx::framework

namespace orx::core {

using orx::framework::ClassId;
using orx::framework::CScriptable;
using orx::framework::PropId;

// Property ids of the host's data model.
constexpr PropId PROP_SYSTEM_IN_SIMULATION_MODE = 0x200b;
constexpr PropId PROP_PORT_ONLINE = 0x01058006;
constexpr PropId PROP_PORT_IS_PORT_SET = 0x01058007;
constexpr PropId PROP_PHYSICAL_PORT_INDEX = 0x010b5001;
constexpr PropId PROP_PORT_GROUP_LOCATION = 0x010b6001;
constexpr PropId PROP_TEST_MODULE_MODEL = 0x010b700b;
constexpr PropId PROP_PDU_FRAME_CONFIG = 0x01200001;

class COrxSystem : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return 0x2000; }
    // The system object, handle 1, made on first use.
    static COrxSystem& Instance();

    bool GetInSimulationMode() const { return GetT<bool>(PROP_SYSTEM_IN_SIMULATION_MODE); }
    void SetInSimulationMode(bool on) { Set(PROP_SYSTEM_IN_SIMULATION_MODE, on); }
};

class CProject : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return 0x6000; }
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
    static constexpr ClassId CLASS_ID() { return 0x010b7000; }

    // The IL that serves this module's ports; null until one is attached.
    std::shared_ptr<orx::framework::IlTransport> GetIlTransport() const { return m_transport; }
    void SetIlTransport(std::shared_ptr<orx::framework::IlTransport> transport);

  private:
    std::shared_ptr<orx::framework::IlTransport> m_transport;
};

class CPhysicalPortGroup : public CScriptable, public ManageEquipment {
  public:
    static constexpr ClassId CLASS_ID() { return 0x010b6000; }
    CPhysicalTestModule* GetTestModule() const;
    std::string GetEquipmentString() const override {
        return GetT<std::string>(PROP_PORT_GROUP_LOCATION);
    }
};

class CPhysicalPort : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return 0x010b5000; }
    uint16_t GetIndex() const { return GetT<uint16_t>(PROP_PHYSICAL_PORT_INDEX); }
};

class CPort : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return 0x01058000; }
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
    static constexpr ClassId CLASS_ID() { return 0x01153000; }
};

class CEmulatedDevice : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return 0x01170000; }
};

}  // namespace orx::core
