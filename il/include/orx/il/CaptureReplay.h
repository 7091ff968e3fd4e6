#pragma once

// Captures replayed into test ports in the files' own time, on a thread of its own, each port's
// transmissions written to its output capture. frhost replays into its in-process test ports
// and frild into its own through this one piece.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class Message;

namespace orx::il {

class FramePump;
class IlServer;
class PcapFileSink;

class CaptureReplay {
  public:
    CaptureReplay();
    // Stops the replay and waits for it; outputs not closed by a finished replay are left out.
    ~CaptureReplay();
    CaptureReplay(const CaptureReplay&) = delete;
    CaptureReplay& operator=(const CaptureReplay&) = delete;

    // A capture replayed into `port` of `il`, named `label` in the progress. With `countFrames`
    // its frames are counted first, for the progress' total. Raises std::runtime_error naming
    // the file when it cannot be read, or the port when `il` does not serve it.
    void AddInput(IlServer& il, uint16_t port, std::string label, const std::string& path,
                  bool countFrames = false);
    // Where the transmissions of `port` of `il` go; raises naming the file when it cannot be
    // written.
    void AddOutput(IlServer& il, uint16_t port, std::string label, const std::string& path);

    void Start();
    // Ends the captures early: each input reads nothing more.
    void Stop();
    bool Done() const { return m_done.load(); }
    // Waits for the end; what the replay raised (a capture that cannot be read or written,
    // naming the file), empty when it ran to its end.
    std::string Wait();
    bool Empty() const { return m_inputs.empty() && m_outputs.empty(); }

    struct Progress {
        std::string label;
        uint16_t port = 0;
        uint64_t frames = 0;  // read from an input, written to an output, so far
        uint64_t total = 0;   // in an input's capture; 0 when not counted
    };
    std::vector<Progress> Inputs() const;
    std::vector<Progress> Outputs() const;

  private:
    struct Input;
    struct Output;
    FramePump& PumpOf(IlServer& il);
    void Run();

    std::map<IlServer*, std::unique_ptr<FramePump>> m_pumps;
    std::vector<std::unique_ptr<Input>> m_inputs;
    std::vector<std::unique_ptr<Output>> m_outputs;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::string m_error;
    std::thread m_thread;
};

// Counts the frames of a capture file without decoding them; 0 when the format is not a
// classic pcap file.
uint64_t CountCaptureFrames(const std::string& path);

// The answer to the replay diagnostic request `request` once `replay` is done: each port's
// frames read and written, or a failed response naming what went wrong.
Message ReplayAnswer(const Message& request, CaptureReplay& replay);

}  // namespace orx::il
