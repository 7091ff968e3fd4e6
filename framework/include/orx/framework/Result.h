#pragma once

#include <orx/framework/Scriptable.h>
#include <orx/ids/core.h>

namespace orx::framework {

// The base of result objects: counters the host fills from IL result rows.
class CResult : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::Result::kClass; }
    // Counters are run-time state: writing them never calls for an apply.
    bool HoldsConfiguration() const override { return false; }
};

}  // namespace orx::framework
