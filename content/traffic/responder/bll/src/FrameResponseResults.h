#pragma once

#include <orx/framework/Result.h>
#include <orx/ids/responder.h>

namespace orx::responder {

// The counters of one frame-response configuration (its parent), filled by the host from the
// IL's result rows.
class CFrameResponseResults : public orx::framework::CResult {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::FrameResponseResults::kClass;
    }

    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CFrameResponseResults() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }
};

}  // namespace orx::responder
