#pragma once

// Pcap files as frame source and sink: a capture is replayed in its own time, and each port's
// transmissions are written with their timestamps, so a replay gives the same files every run.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <orx/il/FrameIo.h>
#include <orx/il/MemoryFrames.h>

namespace orx::il {

// Opening, reading or writing a capture failed; the text names the file and libpcap's reason.
class PcapError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads an Ethernet capture (microsecond or nanosecond timestamps).
class PcapFileSource final : public FrameSource {
  public:
    explicit PcapFileSource(const std::string& path);
    ~PcapFileSource() override;
    size_t Read(RxFrame* frames, size_t max) override;
    bool AtEnd() const override { return m_atEnd; }

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_path;
    std::vector<uint8_t> m_buffer;
    std::vector<uint32_t> m_offsets;
    uint64_t m_framesRead = 0;
    bool m_atEnd = false;
};

// Writes an Ethernet capture with nanosecond timestamps. The file appears at its path only on
// Close: a sink destroyed without it (a replay that failed) leaves nothing behind.
class PcapFileSink final : public FrameSink {
  public:
    explicit PcapFileSink(const std::string& path);
    ~PcapFileSink() override;
    void Transmit(const TxFrame* frames, size_t count) override;
    // Flushes, closes and moves the file into place; later frames raise PcapError.
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_path;
};

// Reads a whole capture (tests, tools).
std::vector<StoredFrame> ReadPcapFile(const std::string& path);

}  // namespace orx::il
