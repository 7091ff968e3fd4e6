#pragma once

// The IL's own diagnostic requests, outside the responder message set: what a port really
// holds ("ildiag.ShowResponders"), and, in the daemon, a replay of its capture files
// ("ildiag.Replay"). Both are ordinary requests of the IL's codec, so they travel over every
// transport; a failed answer is the usual failed response (faultCode, faultString).
//
// ildiag.ShowResponders, destination = a port index or Message::kNoDestination for all ports.
//   Response member "responders": array of structures, in port then handle order:
//     handle u32, port u16, filter string, running bool, vifHandle u32,
//     matched u64, transmitted u64, rate u32,
//     profiles: array of structures { port u16, delay u32 (microseconds), payload binary,
//                                     modifierCount u32 }
//   Response member "ports": array of structures, one per port asked about, in port order:
//     port u16, running u32 (responders in the frame path's table), indexed u32 (of them, found
//     through a key), keys: array of structures { key string, responders u32, values u32 },
//     alwaysRun: array of u32 (handles of the running responders whose filters run on every
//     frame). Older answers without it parse as no ports.
//
// ildiag.ShowLinks: the live interfaces of the IL's ports (none while no port runs on one).
//   Response member "links": array of structures, in port order:
//     port u16, interface string, received u64 (frames captured and handed to the responders),
//     captureDropped u64 (dropped by the capture buffer), interfaceDropped u64 (dropped by the
//     interface), transmitted u64, transmitFailed u64 (frames the system did not take),
//     error string (why the port ended; "" while it runs)
//
// ildiag.Replay (answered by frild only): replays every capture given with --pcap-in from its
//   start, in the capture's own time, and rewrites each --pcap-out file; answered once the
//   replay has finished. Response member "ports": array of structures
//     { port u16, framesRead u64, framesWritten u64 }.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class Message;

namespace orx::il {

struct ProfileView {
    uint16_t port = 0;
    uint32_t delayUs = 0;
    std::vector<uint8_t> payload;
    uint32_t modifierCount = 0;
    bool operator==(const ProfileView&) const = default;
};

// One configuration as the IL holds it, with its counters (as after ClearResult).
struct ResponderView {
    uint32_t handle = 0;
    uint16_t port = 0;
    std::string filter;
    bool running = false;
    uint32_t vifHandle = 0;
    uint64_t matched = 0;
    uint64_t transmitted = 0;
    uint32_t rate = 0;
    std::vector<ProfileView> profiles;
    bool operator==(const ResponderView&) const = default;
};

// A frame field by which a port indexes responders: "ether[38:4]" style, with its mask when
// not all ones; `values` distinct values among the `responders` it indexes.
struct DispatchKeyView {
    std::string key;
    uint32_t responders = 0;
    uint32_t values = 0;
    bool operator==(const DispatchKeyView&) const = default;
};

// How a port finds the responders a frame may match: `indexed` of the `running` responders are
// looked up by the value of a key; the filters of `alwaysRun` (handles) run on every frame.
struct PortDispatchView {
    uint16_t port = 0;
    uint32_t running = 0;
    uint32_t indexed = 0;
    std::vector<DispatchKeyView> keys;
    std::vector<uint32_t> alwaysRun;
    bool operator==(const PortDispatchView&) const = default;
};

// One port's live interface and its counters.
struct LinkView {
    uint16_t port = 0;
    std::string interface;
    uint64_t received = 0;
    uint64_t captureDropped = 0;
    uint64_t interfaceDropped = 0;
    uint64_t transmitted = 0;
    uint64_t transmitFailed = 0;
    std::string error;
    bool operator==(const LinkView&) const = default;
};

struct ReplayPortView {
    uint16_t port = 0;
    uint64_t framesRead = 0;
    uint64_t framesWritten = 0;
    bool operator==(const ReplayPortView&) const = default;
};

namespace diag {

inline constexpr const char* kShowResponders = "ildiag.ShowResponders";
inline constexpr const char* kReplay = "ildiag.Replay";
inline constexpr const char* kShowLinks = "ildiag.ShowLinks";

// A failed response, or an answer whose members are missing or of the wrong kind. The text is
// the IL's faultString, or names the member that is wrong.
class DiagError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Builds the request into `message` (cleared first). `destination`: a port index, or
// Message::kNoDestination (the default) for every port.
void CreateShowRequest(Message* message, uint32_t destination = 0xFFFFFFFFu);
void CreateShowResponse(Message* message, const std::vector<ResponderView>& responders,
                        const std::vector<PortDispatchView>& ports = {});
std::vector<ResponderView> ParseShowResponse(const Message& response);
std::vector<PortDispatchView> ParseShowDispatch(const Message& response);

void CreateLinksRequest(Message* message);
void CreateLinksResponse(Message* message, const std::vector<LinkView>& links);
std::vector<LinkView> ParseLinksResponse(const Message& response);

void CreateReplayRequest(Message* message);
void CreateReplayResponse(Message* message, const std::vector<ReplayPortView>& ports);
std::vector<ReplayPortView> ParseReplayResponse(const Message& response);

// The faultString of a failed response ("" for another message).
std::string FaultText(const Message& response);

}  // namespace diag
}  // namespace orx::il
