#pragma once

// Live Linux interfaces through libpcap. A port captures only the frames it receives
// (PCAP_D_IN), so a responder never answers its own transmissions, and transmits with
// pcap_inject. LiveRunner drives each port's frames on a thread of its own.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orx/il/FrameIo.h"
#include "orx/il/PcapFiles.h"

namespace orx::il {

class IlServer;

// One interface opened for capture and injection. Read and Transmit may run on different
// threads; Transmit serialises itself (several ports' threads may send on one interface).
class LiveInterface final : public FrameSource, public FrameSink {
  public:
    // Raises PcapError naming the interface and libpcap's reason (no such device, no permission).
    explicit LiveInterface(const std::string& name);
    ~LiveInterface() override;

    const std::string& Name() const { return m_name; }
    // Returns at once: the frames captured so far, up to `max`; timestamps on the system clock.
    size_t Read(RxFrame* frames, size_t max) override;
    bool AtEnd() const override { return false; }
    void Transmit(const TxFrame* frames, size_t count) override;
    // Waits up to `timeoutMs` for a frame to read; false on timeout.
    bool WaitReadable(int timeoutMs);

    uint64_t Received() const { return m_received.load(std::memory_order_relaxed); }
    uint64_t Sent() const { return m_sent.load(std::memory_order_relaxed); }
    uint64_t SendErrors() const { return m_sendErrors.load(std::memory_order_relaxed); }

    // System clock in nanoseconds: the epoch of live frame timestamps.
    static int64_t NowNs();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_name;
    std::vector<uint8_t> m_buffer;
    std::vector<uint32_t> m_offsets;
    std::atomic<uint64_t> m_received{0};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_sendErrors{0};
};

// Answers frames on live interfaces: one thread per port, each polling a FramePump whose sinks
// are every port's interface (a profile may transmit on another port).
class LiveRunner {
  public:
    // (port, interface name) pairs; every port must be served by `il`. Opens the interfaces;
    // raises PcapError or std::invalid_argument (unknown port) naming what is wrong.
    LiveRunner(IlServer& il, const std::vector<std::pair<uint16_t, std::string>>& ports);
    ~LiveRunner();
    LiveRunner(const LiveRunner&) = delete;
    LiveRunner& operator=(const LiveRunner&) = delete;

    void Start();
    // Stops the threads and transmits the responses still waiting; idempotent.
    void Stop();
    const std::vector<std::unique_ptr<LiveInterface>>& Interfaces() const { return m_ifaces; }

  private:
    struct Port;
    void Run(Port& port);

    IlServer& m_il;
    std::vector<std::unique_ptr<LiveInterface>> m_ifaces;
    std::vector<std::unique_ptr<Port>> m_ports;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

}  // namespace orx::il
