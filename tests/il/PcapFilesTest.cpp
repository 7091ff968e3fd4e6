// Capture files: what a damaged capture reports, and that an output capture appears whole or
// not at all.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <orx/il/PcapFiles.h>
#include "IlTestSupport.h"

using namespace orx::il;

namespace {

namespace fs = std::filesystem;

class PcapFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::path(::testing::TempDir()) /
                ("pcap_files_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        return names;
    }

    fs::path m_dir;
};

template <class T>
std::string Le(T value) {
    std::string out(sizeof value, '\0');
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string FileHeader(uint32_t snaplen = 65535) {
    return Le<uint32_t>(0xa1b2c3d4) + Le<uint16_t>(2) + Le<uint16_t>(4) + Le<int32_t>(0) +
           Le<uint32_t>(0) + Le<uint32_t>(snaplen) + Le<uint32_t>(1);
}

std::string Record(const std::vector<uint8_t>& frame, uint32_t caplen) {
    return Le<uint32_t>(1) + Le<uint32_t>(0) + Le<uint32_t>(caplen) + Le<uint32_t>(caplen) +
           std::string(frame.begin(), frame.end());
}

std::string Record(const std::vector<uint8_t>& frame) {
    return Record(frame, static_cast<uint32_t>(frame.size()));
}

// Reads in batches of `batch` until the end or a refusal; gives the refusal's text.
std::string ReadUntilRefused(const std::string& path, size_t batch, size_t& frames) {
    PcapFileSource source(path);
    std::vector<RxFrame> buffer(batch);
    frames = 0;
    try {
        while (!source.AtEnd())
            frames += source.Read(buffer.data(), buffer.size());
    } catch (const PcapError& e) {
        return e.what();
    }
    return std::string();
}

TEST_F(PcapFilesTest, ADamagedRecordIsNamedByItsPlaceInTheFile) {
    const std::vector<uint8_t> frame = iltest::UdpFrame(0x0A000001, 53);
    const std::string good = FileHeader() + Record(frame) + Record(frame) + Record(frame);

    // Frame 4 is cut short; read two at a time, it is the second of its batch.
    const std::string cut = Write("cut.pcap", good + Record(frame).substr(0, 30));
    size_t frames = 0;
    std::string error = ReadUntilRefused(cut, 2, frames);
    EXPECT_EQ(error.rfind("cannot read frame 4 of capture " + cut + ": truncated dump file", 0), 0u)
        << error;
    EXPECT_EQ(frames, 2u);  // the refused batch gives none of its frames

    // A record header claiming 4 GB: libpcap refuses it by its snap length, before reading.
    const std::string huge = Write("huge.pcap", good + Record(frame, 0xFFFFFFFFu));
    error = ReadUntilRefused(huge, 1, frames);
    EXPECT_EQ(frames, 3u);
    EXPECT_EQ(error.rfind("cannot read frame 4 of capture " + huge +
                              ": invalid packet capture "
                              "length 4294967295",
                          0),
              0u)
        << error;

    // A file header with an absurd snap length does not raise what a record may claim.
    const std::string wide = Write("wide.pcap", FileHeader(0xFFFFFFFFu) + Record(frame, 300000));
    error = ReadUntilRefused(wide, 1, frames);
    EXPECT_NE(error.find("invalid packet capture length 300000"), std::string::npos) << error;
}

TEST_F(PcapFilesTest, ATimestampBeyondWhatNanosecondsHoldIsRefused) {
    // pcapng: section header, an Ethernet interface (microseconds), one packet 2^61 us in.
    auto block = [](uint32_t type, const std::string& body) {
        const uint32_t length = static_cast<uint32_t>(12 + body.size());
        return Le(type) + Le(length) + body + Le(length);
    };
    const std::vector<uint8_t> frame = iltest::UdpFrame(0x0A000001, 53);
    const std::string bytes =
        block(0x0A0D0D0A,
              Le<uint32_t>(0x1A2B3C4D) + Le<uint16_t>(1) + Le<uint16_t>(0) + Le<int64_t>(-1)) +
        block(1, Le<uint16_t>(1) + Le<uint16_t>(0) + Le<uint32_t>(0)) +
        block(6, Le<uint32_t>(0) + Le<uint32_t>(0x20000000) + Le<uint32_t>(0) +
                     Le<uint32_t>(static_cast<uint32_t>(frame.size())) +
                     Le<uint32_t>(static_cast<uint32_t>(frame.size())) +
                     std::string(frame.begin(), frame.end()) +
                     std::string((4 - frame.size() % 4) % 4, '\0'));
    const std::string path = Write("far.pcapng", bytes);
    size_t frames = 0;
    const std::string error = ReadUntilRefused(path, 4, frames);
    EXPECT_EQ(frames, 0u);
    EXPECT_EQ(error.rfind("frame 1 of capture " + path + " has a timestamp out of range", 0), 0u)
        << error;
}

TEST_F(PcapFilesTest, AnOutputAppearsOnlyWhenClosedAndAnUnclosedOneLeavesTheOldFile) {
    const std::vector<uint8_t> frame = iltest::UdpFrame(0x0A000001, 53);
    const TxFrame tx{frame.data(), static_cast<uint32_t>(frame.size()), 0, 1'000'000'000};
    const std::string path = Path("out.pcap");
    {
        PcapFileSink sink(path);
        sink.Transmit(&tx, 1);
        EXPECT_FALSE(fs::exists(path));
        sink.Close();
    }
    EXPECT_EQ(ReadPcapFile(path).size(), 1u);
    EXPECT_EQ(Files(), std::vector<std::string>{"out.pcap"});

    // A sink dropped unclosed (a replay that failed): the file of the last good one stays.
    const std::string before = Slurp(path);
    {
        PcapFileSink sink(path);
        sink.Transmit(&tx, 1);
        sink.Transmit(&tx, 1);
    }
    EXPECT_EQ(Slurp(path), before);
    EXPECT_EQ(Files(), std::vector<std::string>{"out.pcap"});
}

TEST_F(PcapFilesTest, AnOutputThatCannotBeWrittenIsRefusedAtOnceNamingIt) {
    const std::string missing = Path("nowhere/out.pcap");
    try {
        PcapFileSink sink(missing);
        ADD_FAILURE() << "opened " << missing;
    } catch (const PcapError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot write capture " + missing + ": No such file or directory");
    }
    try {
        PcapFileSink sink(m_dir.string());
        ADD_FAILURE() << "opened a directory";
    } catch (const PcapError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot write capture " + m_dir.string() + ": it is a directory");
    }
    EXPECT_TRUE(Files().empty());
}

}  // namespace
