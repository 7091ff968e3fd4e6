#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/common/ConfigModifierSet.h>
#include <orx/common/ConfigPdu.h>
#include <orx/core/PduContainer.h>

namespace orx::responder {

// One PDU's place in the payload.
struct FieldInfo {
    std::string name;     // the PDU's own name in the frame description
    uint32_t offset = 0;  // bytes from the start of the payload (preamble excluded)
    uint32_t length = 0;  // bytes
};

// Base of the objects that carry a frame description: the configurations (whose frame is the
// filter) and the profiles (whose frame is the response). Keeps the parse of "FrameConfig"
// until the text changes.
class CResponderContainer : public orx::core::CPduContainer {
  public:
    CResponderContainer() = default;
    ~CResponderContainer() override;

    // Parses "FrameConfig" again; empty on success, else the parser's text (line and element).
    std::string ParseFrameXml();
    // Whether an Ethernet (or MAC-in-MAC) PDU of the parsed frame writes a preamble.
    bool HasPreamble() const;
    // The frame's bytes without its preamble; `runProcessing` computes the checksums. Raises
    // COrxRunTimeError when the description does not parse or the frame does not build.
    void GetPayload(std::vector<uint8_t>& bytes, bool runProcessing);
    // Empty when the parsed frame builds, processing functions included (GetPayload), else its
    // error. Kept with the parse: the same PDUs build the same way.
    std::string CheckPayloadBuilds();
    // GetPayload(bytes, true), taken from CheckPayloadBuilds' build when the parse is the same.
    void GetProcessedPayload(std::vector<uint8_t>& bytes);
    // Appends one entry per PDU; returns the payload length in bytes.
    uint32_t GetFieldInfo(std::vector<FieldInfo>& infos);
    // Empty when every set field generates bits, else a message naming the first that does not.
    std::string FindEmptyElements();
    // The tcpdump (pcap) filter expression that matches the fields the description sets.
    std::string ConvertToTcpdumpFilter();

    void OnPropertyModified(orx::framework::Property& property) override;

    bool IsFrameParsed() const { return m_parsed; }
    const std::vector<orx::common::ConfigPdu*>& GetPdus() const { return m_pdus; }

  private:
    void EnsureParsed();

    bool m_parsed = false;
    // CheckPayloadBuilds' answer for the current parse, while m_buildChecked.
    bool m_buildChecked = false;
    std::string m_buildError;
    std::vector<uint8_t> m_buildPayload;
    std::vector<orx::common::ConfigPdu*> m_pdus;
    orx::common::ConfigModifierSet m_modifiers;
};

}  // namespace orx::responder
