#pragma once

#include <cstdint>
#include <vector>

#include "orx/framework/Command.h"

namespace orx::responder {

class CBaseFrameResponseConfig;

// The base of the start and stop commands. Also keeps, for every configuration, whether it runs
// and which of the start and stop commands the host offers for it.
class CFrameResponseCommand : public orx::framework::CCommand {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() { return 0x96007000; }
    static constexpr orx::framework::PropId PROP_CONFIG_LIST = 0x96007001;
    static constexpr orx::framework::ClassId START_COMMAND_CLASS_ID = 0x96008000;
    static constexpr orx::framework::ClassId STOP_COMMAND_CLASS_ID = 0x96009000;

    // Called when a configuration is initialised, (de)activated, or its port goes on or off
    // line: makes it unavailable or offers the start commands.
    static void HandleActivate(CBaseFrameResponseConfig& config, bool onlineChange);
    // Sets Running and the command statuses of each handle: after a start (startEnabled false)
    // running with the stop commands offered, after a stop the reverse; unavailable: all off.
    static void SetStartStop(std::vector<uint32_t>& handles, bool startEnabled, bool unavailable);
};

}  // namespace orx::responder
