#pragma once

// Frames and request helpers shared by the IL tests.

#include <cstdint>
#include <string>
#include <vector>

#include <orx/il/IlServer.h>
#include <orx/msglib/Message.h>
#include "responder_1.h"

namespace iltest {

// Ethernet II (optionally with one 802.1Q tag) + IPv4 + UDP, `extra` payload bytes of 0xAB.
inline std::vector<uint8_t> UdpFrame(uint32_t srcIp, uint16_t dstPort, int vlan = -1,
                                     size_t extra = 18) {
    std::vector<uint8_t> f = {0x00, 0x10, 0x94, 0x00, 0x00, 0x02,   // dst
                              0x02, 0x00, 0x00, 0x00, 0x00, 0x01};  // src
    if (vlan >= 0) {
        f.insert(f.end(), {0x81, 0x00, uint8_t(vlan >> 8), uint8_t(vlan)});
    }
    f.insert(f.end(), {0x08, 0x00});
    uint16_t total = static_cast<uint16_t>(20 + 8 + extra);
    f.insert(f.end(), {0x45,
                       0x00,
                       uint8_t(total >> 8),
                       uint8_t(total),
                       0,
                       0,
                       0,
                       0,
                       64,
                       17,
                       0,
                       0,
                       uint8_t(srcIp >> 24),
                       uint8_t(srcIp >> 16),
                       uint8_t(srcIp >> 8),
                       uint8_t(srcIp),
                       10,
                       0,
                       0,
                       2});
    uint16_t udpLen = static_cast<uint16_t>(8 + extra);
    f.insert(f.end(), {0x13, 0x88, uint8_t(dstPort >> 8), uint8_t(dstPort), uint8_t(udpLen >> 8),
                       uint8_t(udpLen), 0, 0});
    f.insert(f.end(), extra, 0xAB);
    return f;
}

inline responder_1_bll::respConfig_s Config(uint32_t handle, std::string filter,
                                            std::vector<responder_1_bll::respProfile_s> profiles) {
    responder_1_bll::respConfig_s c;
    c.configHandle = handle;
    c.filterExpr = std::move(filter);
    c.vifHandle = 0;
    c.responseArray = std::move(profiles);
    return c;
}

inline responder_1_bll::respProfile_s Profile(uint16_t port, std::vector<uint8_t> payload,
                                              uint32_t delayUs = 0) {
    responder_1_bll::respProfile_s p;
    p.portIndex = port;
    p.payload = std::move(payload);
    p.delay = delayUs;
    return p;
}

inline Message Request(uint16_t port, void (*build)(Message*, const std::vector<uint32_t>&, bool),
                       const std::vector<uint32_t>& handles) {
    Message m;
    build(&m, handles, true);
    m.set_destination(port);
    return m;
}

inline Message ConfigRequest(uint16_t port,
                             const std::vector<responder_1_bll::respConfig_s>& configs) {
    Message m;
    responder_1_bll::create_req_ConfigResponder(&m, configs, true);
    m.set_destination(port);
    return m;
}

}  // namespace iltest
