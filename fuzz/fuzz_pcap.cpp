// Reads arbitrary bytes as a capture file through the IL's pcap reader, in batches of a size
// the input picks and again one frame at a time: both reads must give the same frames, every
// frame's bytes must be readable, and a capture that cannot be read must say so with PcapError
// naming the file. Frames come from the file, so together they never hold more bytes than it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <orx/il/PcapFiles.h>
#include "FuzzSupport.h"

namespace {

using fuzz::broken;

using namespace orx::il;

// The input as a file that libpcap can open by name, held in memory.
class MemoryFile {
  public:
    MemoryFile() : m_fd(memfd_create("fuzz_pcap", 0)) {
        if (m_fd < 0)
            broken("memfd_create failed");
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    void Write(const uint8_t* data, size_t size) {
        if (ftruncate(m_fd, 0) != 0)
            broken("ftruncate failed");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                broken("pwrite failed");
            done += static_cast<size_t>(n);
        }
    }
    const std::string& Path() const { return m_path; }

  private:
    int m_fd;
    std::string m_path;
};

struct Frame {
    std::vector<uint8_t> bytes;
    int64_t timeNs;
    bool operator==(const Frame&) const = default;
};

struct Outcome {
    std::vector<Frame> frames;
    std::string error;  // empty when the whole capture was read
};

Outcome ReadAll(const std::string& path, size_t batch) {
    Outcome out;
    try {
        PcapFileSource source(path);
        std::vector<RxFrame> frames(batch);
        while (!source.AtEnd()) {
            const size_t n = source.Read(frames.data(), frames.size());
            if (n > batch)
                broken("a batch holds more frames than asked for");
            for (size_t i = 0; i < n; ++i) {
                const RxFrame& f = frames[i];
                if (f.length > 0 && f.data == nullptr)
                    broken("a frame without bytes");
                out.frames.push_back(
                    Frame{std::vector<uint8_t>(f.data, f.data + f.length), f.timeNs});
            }
        }
    } catch (const PcapError& e) {
        out.error = e.what();
        if (out.error.find(path) == std::string::npos)
            broken("a refusal does not name the file: " + out.error);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.Write(data, size);
    const size_t batch = 1 + size % 7;
    const Outcome batched = ReadAll(file.Path(), batch);
    size_t bytes = 0;
    for (const Frame& f : batched.frames)
        bytes += f.bytes.size();
    if (bytes > size)
        broken("the frames hold more bytes than the file");
    const Outcome single = ReadAll(file.Path(), 1);
    // A failed batch gives none of its frames, so only the frames before it must agree.
    if (batched.error.empty() != single.error.empty())
        broken("reading in batches and frame by frame disagree on success");
    if (batched.error.empty() ? single.frames != batched.frames
                              : single.frames.size() < batched.frames.size() ||
                                    !std::equal(batched.frames.begin(), batched.frames.end(),
                                                single.frames.begin())) {
        broken("reading in batches and frame by frame give different frames");
    }
    return 0;
}
