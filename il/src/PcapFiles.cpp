#include "orx/il/PcapFiles.h"

#include <pcap/pcap.h>

#include <cstring>

namespace orx::il {

namespace {

constexpr int kSnapLength = 262144;

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
    // offsets are turned into pointers once the batch is complete.
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
        if (rc != 1) {
            m_atEnd = true;
            throw PcapError("cannot read frame " + std::to_string(n + 1) + " of a batch from " +
                            m_path + ": " + pcap_geterr(m_impl->pcap));
        }
        m_offsets.push_back(static_cast<uint32_t>(m_buffer.size()));
        m_buffer.insert(m_buffer.end(), data, data + header->caplen);
        frames[n].length = header->caplen;
        frames[n].timeNs = int64_t(header->ts.tv_sec) * 1000000000 + header->ts.tv_usec;
        ++n;
    }
    for (size_t i = 0; i < n; ++i)
        frames[i].data = m_buffer.data() + m_offsets[i];
    return n;
}

struct PcapFileSink::Impl {
    pcap_t* pcap = nullptr;
    pcap_dumper_t* dumper = nullptr;
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
    ~Impl() { Close(); }
};

PcapFileSink::PcapFileSink(const std::string& path)
    : m_impl(std::make_unique<Impl>()), m_path(path) {
    m_impl->pcap =
        pcap_open_dead_with_tstamp_precision(DLT_EN10MB, kSnapLength, PCAP_TSTAMP_PRECISION_NANO);
    if (m_impl->pcap == nullptr)
        throw PcapError("cannot open a pcap handle for " + path);
    m_impl->dumper = pcap_dump_open(m_impl->pcap, path.c_str());
    if (m_impl->dumper == nullptr) {
        std::string why = pcap_geterr(m_impl->pcap);
        m_impl->Close();
        throw PcapError("cannot write capture " + path + ": " + why);
    }
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
    if (m_impl->dumper && pcap_dump_flush(m_impl->dumper) != 0) {
        m_impl->Close();
        throw PcapError("cannot write capture " + m_path);
    }
    m_impl->Close();
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
