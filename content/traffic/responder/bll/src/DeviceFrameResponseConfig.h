#pragma once

#include <orx/ids/responder.h>
#include "BaseFrameResponseConfig.h"

namespace orx::responder {

// A frame-response configuration under an emulated device (CEmulatedDevice); the port is the
// device's related port.
class CDeviceFrameResponseConfig : public CBaseFrameResponseConfig {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::DeviceFrameResponseConfig::kClass;
    }
    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CDeviceFrameResponseConfig() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }
};

}  // namespace orx::responder
