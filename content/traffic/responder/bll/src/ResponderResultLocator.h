#pragma once

#include <orx/core/ResultAssistant.h>

namespace orx::responder {

// Tells the host which test ports hold the frame-response counters of an object a result view
// may be rooted at.
class CResponderResultLocator : public orx::core::CResultLocatorForAssistant {
  public:
    ~CResponderResultLocator() override = default;

    // Appends the ports whose counters concern `object`; raises COrxRunTimeError for a null one.
    void GetPortsForObj(const orx::framework::CScriptable* object,
                        orx::framework::ScriptableVec& ports) const override;
    // A subscription without roots is rooted at the project; false when a root names no object.
    bool ValidateSubscriptionRoots(orx::core::ResultSubscription& subscription) const override;
};

}  // namespace orx::responder
