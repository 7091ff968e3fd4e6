#pragma once

// Control-side state of the responders: compiled configurations, running flags, counter
// baselines, and the tables published to the port engines.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <orx/il/IlServer.h>
#include <orx/il/PortEngine.h>
#include "ResultStore.h"
#include "responder_1.h"

namespace orx::il {

struct CompiledConfig;

class Responders {
  public:
    explicit Responders(const std::vector<uint16_t>& ports);
    ~Responders();

    bool Serves(uint16_t port) const { return m_engines.count(port) != 0; }
    PortEngine* Engine(uint16_t port);

    // Installs every configuration that compiles; returns the refused ones.
    std::vector<responder_1_bll::errorMsg_s> Configure(
        uint16_t port, const std::vector<responder_1_bll::respConfig_s>& configs);
    // Each returns the handles it acted on; handles unknown on `port` are logged and skipped.
    std::vector<uint32_t> Remove(uint16_t port, const std::vector<uint32_t>& handles);
    std::vector<uint32_t> SetRunning(uint16_t port, const std::vector<uint32_t>& handles,
                                     bool running);
    std::vector<uint32_t> Clear(uint16_t port, const std::vector<uint32_t>& handles);

    // Writes the rows whose values changed since the last sync, stamped `stamp`.
    void Sync(ResultStore& store, int64_t stamp);
    std::vector<CounterSnapshot> Snapshot() const;
    // Every configuration of `port` (all ports when `all`), in port then handle order.
    std::vector<ResponderView> Describe(bool all, uint16_t port) const;
    // How the running responders of `port` (every served port when `all`) are dispatched, as
    // last published; in port order.
    std::vector<PortDispatchView> DescribeDispatch(bool all, uint16_t port) const;

  private:
    struct Responder {
        uint32_t handle = 0;
        uint16_t port = 0;
        bool running = false;
        std::shared_ptr<const CompiledConfig> config;
        std::shared_ptr<ResponderCounters> counters;
        // Reported = raw - base (modulo 2^64): ClearResult and moves never write the counters
        // the frame path owns.
        uint64_t baseMatched = 0;
        uint64_t baseTransmitted = 0;
        int64_t clearedTenth = INT64_MIN;
        bool written = false;
        uint64_t lastMatched = 0, lastTransmitted = 0;
        uint32_t lastRate = 0;
        uint32_t lastVif = 0;
    };

    std::shared_ptr<const CompiledConfig> Compile(const responder_1_bll::respConfig_s& config,
                                                  std::string& error) const;
    CounterSnapshot Read(const Responder& r) const;
    void Publish(uint16_t port);
    Responder* Find(uint16_t port, uint32_t handle, const char* request);

    std::map<uint16_t, std::unique_ptr<PortEngine>> m_engines;
    std::map<uint32_t, Responder> m_responders;  // by handle: handle order is table order
    std::map<uint16_t, PortDispatchView> m_dispatchViews;
    void* m_compiler = nullptr;  // pcap_t of pcap_open_dead
};

}  // namespace orx::il
