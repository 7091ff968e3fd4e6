#pragma once

#include <string>

namespace frhost {

// `frhost filter FRAME.xml`: the filter expression a configuration using this frame description
// as its filter would send, through the plug-in's frame config convert command. Prints it and
// returns 0; with an invalid filter prints the command's status text on stderr and returns 1.
int FilterCommand(const std::string& framePath);

// `frhost frame FRAME.xml [--pcap OUT]`: the response frame's bytes (hex, one line) and the
// PDU offsets, through a response profile; optionally written as a one-frame capture.
int FrameCommand(const std::string& framePath, const std::string& pcapPath);

}  // namespace frhost
