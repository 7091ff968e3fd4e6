#pragma once

// Live Linux interfaces through libpcap. A port captures only the frames it receives
// (PCAP_D_IN), so a responder never answers its own transmissions, through libpcap's
// memory-mapped ring (TPACKET_V3: frames arrive in blocks, handed over in batches), and
// transmits batches with sendmmsg on the capture's own socket. LiveRunner drives
// each port's frames on a thread of its own.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <orx/il/Diag.h>
#include <orx/il/FrameIo.h>
#include <orx/il/PcapFiles.h>

namespace orx::il {

class IlServer;

// One interface opened for capture and injection. Read and Transmit may run on different
// threads; Transmit serialises itself (several ports' threads may send on one interface).
class LiveInterface final : public FrameSource, public FrameSink {
  public:
    // The capture ring: holds a burst of about 400,000 small frames while the responders catch up.
    static constexpr size_t kDefaultBufferBytes = size_t{64} << 20;
    static constexpr size_t kMinBufferBytes = size_t{1} << 20;
    // libpcap takes the size as an int.
    static constexpr size_t kMaxBufferBytes = size_t{2047} << 20;

    // A capture buffer size given in MiB on a command line ("128"): its bytes. Raises
    // std::invalid_argument saying what is wrong with `text`.
    static size_t ParseBufferMiB(const std::string& text);

    // Raises PcapError naming the interface and libpcap's or the system's reason (no such
    // device, no permission, a buffer size out of bounds).
    explicit LiveInterface(const std::string& name, size_t bufferBytes = kDefaultBufferBytes);
    ~LiveInterface() override;

    const std::string& Name() const { return m_name; }
    // Returns at once: the frames captured so far, up to `max`; timestamps on the system clock.
    // A failed capture (the interface went away) returns 0 from then on and sets Error().
    size_t Read(RxFrame* frames, size_t max) override;
    bool AtEnd() const override { return false; }
    // Frames the system does not take are counted in SendErrors(), never dropped silently.
    void Transmit(const TxFrame* frames, size_t count) override;
    // Waits up to `timeoutMs` for a frame to read; false on timeout.
    bool WaitReadable(int timeoutMs);

    // Reads libpcap's drop counters; call on the thread that reads the frames.
    void RefreshCaptureStats();

    uint64_t Received() const { return m_received.load(std::memory_order_relaxed); }
    uint64_t CaptureDropped() const { return m_captureDropped.load(std::memory_order_relaxed); }
    uint64_t InterfaceDropped() const { return m_interfaceDropped.load(std::memory_order_relaxed); }
    uint64_t Sent() const { return m_sent.load(std::memory_order_relaxed); }
    uint64_t SendErrors() const { return m_sendErrors.load(std::memory_order_relaxed); }
    bool Failed() const { return m_failed.load(std::memory_order_acquire); }
    // Why the capture failed; "" while it works.
    std::string Error() const;

    // System clock in nanoseconds: the epoch of live frame timestamps.
    static int64_t NowNs();

  private:
    struct Impl;
    void Fail(const std::string& why);

    std::unique_ptr<Impl> m_impl;
    std::string m_name;
    std::vector<uint8_t> m_buffer;
    std::vector<uint32_t> m_offsets;
    std::atomic<uint64_t> m_received{0};
    std::atomic<uint64_t> m_captureDropped{0};
    std::atomic<uint64_t> m_interfaceDropped{0};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_sendErrors{0};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
};

// A port answered on a live interface.
struct LivePort {
    uint16_t port = 0;
    std::string interface;
    size_t bufferBytes = LiveInterface::kDefaultBufferBytes;
};

// Answers frames on live interfaces: one thread per port, each polling a FramePump whose sinks
// are every port's interface (a profile may transmit on another port). A port whose interface
// fails ends with its error (in Links()) while the other ports go on. While it lives the IL
// reports its ports' counters (IlServer::Links).
class LiveRunner {
  public:
    // Every port must be served by `il`. Opens the interfaces; raises PcapError or
    // std::invalid_argument (unknown port) naming what is wrong.
    LiveRunner(IlServer& il, const std::vector<LivePort>& ports);
    ~LiveRunner();
    LiveRunner(const LiveRunner&) = delete;
    LiveRunner& operator=(const LiveRunner&) = delete;

    void Start();
    // Stops the threads once they have answered what the kernel already took in (at most a
    // fraction of a second), and transmits the responses still waiting; idempotent.
    void Stop();
    const std::vector<std::unique_ptr<LiveInterface>>& Interfaces() const { return m_ifaces; }
    // Each port's counters, in the order given. Any thread.
    std::vector<LinkView> Links() const;

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
