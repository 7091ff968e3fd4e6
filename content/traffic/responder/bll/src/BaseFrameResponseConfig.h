#pragma once

#include <set>
#include <string>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/core/Validation.h>
#include <orx/framework/FastDelegate.h>
#include <orx/framework/Scriptable.h>
#include <orx/ids/responder.h>
#include "ResponderContainer.h"

namespace orx::responder {

class CFrameResponseProfile;

// The base of every frame-response configuration: under a probe or an emulated device, it says
// which received frames a test port answers (its filter) and with what (its child profiles).
// All configurations are sorted, by handle, into class-wide online, offline and moved sets.
class CBaseFrameResponseConfig : public CResponderContainer {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::BaseFrameResponseConfig::kClass;
    }
    static constexpr orx::framework::PropId PROP_FILTER =
        orx::ids::responder::BaseFrameResponseConfig::Filter;
    static constexpr orx::framework::PropId PROP_USE_FRAME_CONFIG_FILTER =
        orx::ids::responder::BaseFrameResponseConfig::UseFrameConfigFilter;
    static constexpr orx::framework::PropId PROP_RUNNING =
        orx::ids::responder::BaseFrameResponseConfig::Running;

    static const orx::framework::CMetaClass& GetMetaClassStatic();

    CBaseFrameResponseConfig();
    ~CBaseFrameResponseConfig() override;

    // The configuration's port, walking up from its parent (through a device's related port);
    // refreshes the cached port handle.
    orx::core::CPort* GetPort() const;
    // True when the filter is usable; otherwise false with the reason.
    bool HasValidFilter(std::string* reason);
    // The filter expression that goes to the IL.
    std::string GetFilterValue();
    // Appends the active child profiles in child order (entries already in `out` are filtered
    // too).
    void GetActiveProfiles(std::vector<CFrameResponseProfile*>& out);
    void SetOfflineState();
    // The name messages use: the parent's (probe or device), or the configuration's own when it
    // has no parent.
    std::string GetDisplayName() const;
    void ValidateConfig(orx::core::ValidationContext& context);

    std::string GetFilter() const { return GetT<std::string>(PROP_FILTER); }
    bool GetUseFrameConfigFilter() const {
        return GetT<uint8_t>(PROP_USE_FRAME_CONFIG_FILTER) != 0;
    }
    uint32_t GetPortHandle() const { return m_portHandle; }
    // The port the configuration was taken away from while it is in the moved set, else 0.
    uint32_t GetPreviousPortHandle() const { return m_previousPortHandle; }
    // Its removal from the previous port succeeded (or that port is gone): the configuration
    // leaves the moved set.
    void ForgetMove();

    void OnlineChangeHandler(orx::framework::CScriptable* port, orx::framework::PropId propId);
    void ParentRelChangeHandler(orx::framework::CScriptable& source,
                                orx::framework::CScriptable& related,
                                orx::framework::RelationType relationType, bool added);

    bool OnInit() override;
    bool OnMarkDelete() override;
    void OnPropertyModified(orx::framework::Property& property) override;
    const orx::framework::CMetaClass& GetMetaClass() const override;
    bool IsSingleton() const override { return false; }
    const orx::core::CPduFormatter& GetFormatter() const override;

    // Appends the live configurations named by the handles and drops dead handles from the set.
    static bool GetConfigList(std::vector<CBaseFrameResponseConfig*>& out,
                              std::set<unsigned int>& handles);
    static bool GetOnlineConfigList(std::vector<CBaseFrameResponseConfig*>& out,
                                    bool includeOffline);
    static bool GetOfflineConfigList(std::vector<CBaseFrameResponseConfig*>& out);
    static bool GetMovedConfigList(std::vector<CBaseFrameResponseConfig*>& out);
    static void ResetMovedConfig();
    static bool NoneCreated();
    static void OnProjResetComplete();

    static std::set<unsigned int> s_onlineSet;
    static std::set<unsigned int> s_offlineSet;
    static std::set<unsigned int> s_movedSet;
    static orx::framework::PropId s_portOnlinePropId;
    static bool s_regCompleted;

  private:
    void AttachToPort(orx::core::CPort& port);
    void DetachFromPort(orx::core::CPort& port);

    mutable uint32_t m_portHandle = 0;
    uint32_t m_previousPortHandle = 0;
    orx::framework::PropertyChangeDelegate m_portOnlineDelegate;
    orx::framework::RelationChangeDelegate m_parentRelDelegate;
};

}  // namespace orx::responder
