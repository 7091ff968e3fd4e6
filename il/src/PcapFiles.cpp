#include <orx/il/PcapFiles.h>

#include <pcap/pcap.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace orx::il {

namespace {

constexpr int kSnapLength = 262144;

// A capture is written beside its target and moved over it once complete, so that one that
// cannot be completed leaves no half-written file (and what was there before stays). The name
// is this process's and this sink's own.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> next{0};
    return path + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(next++);
}

}  // namespace

struct PcapFileSource::Impl {
    pcap_t* pcap = nullptr;
    ~Impl() {
        if (pcap)
            pcap_close(pcap);
    }
};

PcapFileSource::PcapFileSource(const std::string& path)
    : m_impl(std::make_unique<Impl>()), m_path(path) {
    char error[PCAP_ERRBUF_SIZE] = {};
    m_impl->pcap =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, error);
    if (m_impl->pcap == nullptr) {
        throw PcapError("cannot read capture " + path + ": " + error);
    }
    if (pcap_datalink(m_impl->pcap) != DLT_EN10MB) {
        throw PcapError("capture " + path + " is not Ethernet (link type " +
                        std::to_string(pcap_datalink(m_impl->pcap)) + ")");
    }
}

PcapFileSource::~PcapFileSource() = default;

size_t PcapFileSource::Read(RxFrame* frames, size_t max) {
    // libpcap reuses its buffer on every call, so the batch's bytes are copied into ours; the
    // offsets are turned into pointers once the batch is complete. libpcap itself refuses a
    // record longer than the link type allows, so a batch never holds more than max * 256 KiB.
    m_buffer.clear();
    m_offsets.clear();
    size_t n = 0;
    while (n < max && !m_atEnd) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        int rc = pcap_next_ex(m_impl->pcap, &header, &data);
        if (rc == PCAP_ERROR_BREAK) {
            m_atEnd = true;
            break;
        }
        const std::string frame = "frame " + std::to_string(m_framesRead + 1);
        if (rc != 1) {
            m_atEnd = true;
            throw PcapError("cannot read " + frame + " of capture " + m_path + ": " +
                            pcap_geterr(m_impl->pcap));
        }
        // Nanoseconds since 1970 in 64 bits reach the year 2262; pcapng can say more.
        int64_t timeNs = 0;
        if (__builtin_mul_overflow(int64_t{header->ts.tv_sec}, int64_t{1000000000}, &timeNs) ||
            __builtin_add_overflow(timeNs, int64_t{header->ts.tv_usec}, &timeNs)) {
            m_atEnd = true;
            throw PcapError(frame + " of capture " + m_path + " has a timestamp out of range (" +
                            std::to_string(header->ts.tv_sec) + " s)");
        }
        m_offsets.push_back(static_cast<uint32_t>(m_buffer.size()));
        m_buffer.insert(m_buffer.end(), data, data + header->caplen);
        frames[n].length = header->caplen;
        frames[n].timeNs = timeNs;
        ++n;
        ++m_framesRead;
    }
    for (size_t i = 0; i < n; ++i)
        frames[i].data = m_buffer.data() + m_offsets[i];
    return n;
}

struct PcapFileSink::Impl {
    pcap_t* pcap = nullptr;
    pcap_dumper_t* dumper = nullptr;
    std::string temporary;  // being written; empty once moved into place or removed
    void Close() {
        if (dumper) {
            pcap_dump_close(dumper);
            dumper = nullptr;
        }
        if (pcap) {
            pcap_close(pcap);
            pcap = nullptr;
        }
    }
    void Discard() {
        Close();
        if (!temporary.empty()) {
            std::remove(temporary.c_str());
            temporary.clear();
        }
    }
    ~Impl() { Discard(); }
};

PcapFileSink::PcapFileSink(const std::string& path)
    : m_impl(std::make_unique<Impl>()), m_path(path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw PcapError("cannot write capture " + path + ": it is a directory");
    m_impl->pcap =
        pcap_open_dead_with_tstamp_precision(DLT_EN10MB, kSnapLength, PCAP_TSTAMP_PRECISION_NANO);
    if (m_impl->pcap == nullptr)
        throw PcapError("cannot open a pcap handle for " + path);
    // A pipe or a device (tcpdump reading a FIFO, /dev/stdout) is written as it is: there is no
    // file to complete, and a rename would put a plain file in its place.
    const bool stream =
        std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec);
    const std::string temporary = stream ? path : TemporaryName(path);
    errno = 0;
    m_impl->dumper = pcap_dump_open(m_impl->pcap, temporary.c_str());
    if (m_impl->dumper == nullptr) {
        // libpcap's text names the temporary file; the reason alone is what the user needs.
        const std::string why = errno != 0 ? std::strerror(errno) : pcap_geterr(m_impl->pcap);
        m_impl->Close();
        throw PcapError("cannot write capture " + path + ": " + why);
    }
    if (!stream)
        m_impl->temporary = temporary;
}

PcapFileSink::~PcapFileSink() = default;

void PcapFileSink::Transmit(const TxFrame* frames, size_t count) {
    if (m_impl->dumper == nullptr)
        throw PcapError("capture " + m_path + " is already closed");
    for (size_t i = 0; i < count; ++i) {
        pcap_pkthdr header{};
        header.ts.tv_sec = frames[i].timeNs / 1000000000;
        header.ts.tv_usec = frames[i].timeNs % 1000000000;  // nanoseconds: the file's precision
        header.caplen = header.len = frames[i].length;
        pcap_dump(reinterpret_cast<u_char*>(m_impl->dumper), &header, frames[i].data);
    }
}

void PcapFileSink::Close() {
    if (m_impl->dumper == nullptr)
        return;
    if (pcap_dump_flush(m_impl->dumper) != 0) {
        const std::string why = std::strerror(errno);
        m_impl->Discard();
        throw PcapError("cannot write capture " + m_path + ": " + why);
    }
    m_impl->Close();
    if (m_impl->temporary.empty())
        return;
    if (std::rename(m_impl->temporary.c_str(), m_path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        m_impl->Discard();
        throw PcapError("cannot write capture " + m_path + ": " + why);
    }
    m_impl->temporary.clear();
}

std::vector<StoredFrame> ReadPcapFile(const std::string& path) {
    PcapFileSource source(path);
    std::vector<StoredFrame> out;
    std::vector<RxFrame> batch(256);
    while (!source.AtEnd()) {
        size_t n = source.Read(batch.data(), batch.size());
        for (size_t i = 0; i < n; ++i) {
            out.push_back(
                StoredFrame{std::vector<uint8_t>(batch[i].data, batch[i].data + batch[i].length),
                            batch[i].timeNs});
        }
    }
    return out;
}

}  // namespace orx::il
