#pragma once

#include "orx/framework/Scriptable.h"

namespace orx::framework {

// The base of result objects: counters the host fills from IL result rows.
class CResult : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return 0x01300000; }
};

}  // namespace orx::framework
