#pragma once

#include <orx/ids/responder.h>
#include "BaseFrameResponseConfig.h"

namespace orx::responder {

// A frame-response configuration under a probe (CProbe), itself a child of a port.
class CProbeFrameResponseConfig : public CBaseFrameResponseConfig {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::ProbeFrameResponseConfig::kClass;
    }
    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CProbeFrameResponseConfig() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }
};

}  // namespace orx::responder
