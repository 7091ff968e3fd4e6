#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <orx/common/ConfigModifierSet.h>
#include <orx/common/ConfigPdu.h>

namespace orx::common {

// Parses frame descriptions into PDUs and generates their bytes. One process-wide object; it
// keeps no state between calls, so callers need no lock around it.
class XmlFrameBuilder {
  public:
    static XmlFrameBuilder& Instance();

    // Parses a "<frame>" description. On success fills `pdus` (owned: release with ClearFrame)
    // and returns true; `anyFieldSet` tells whether the description sets any field. On failure
    // returns false, leaves `pdus` empty and writes the reason, with its line and element, to
    // `errors`. `trace`, when given, receives one line per PDU with its position.
    bool ParseFrame(const std::string& text, std::vector<ConfigPdu*>& pdus,
                    ConfigModifierSet& modifiers, bool& anyFieldSet, std::ostream& errors,
                    std::ostream* trace) const;

    // Releases the PDUs and modifiers and leaves both empty.
    void ClearFrame(std::vector<ConfigPdu*>& pdus, ConfigModifierSet& modifiers) const;

    // Generates the frame (preamble included when written), padded with zeros to `minLength`
    // bytes. With `autoFields`, unset automatic fields (EtherType, IP protocol and next header,
    // lengths) take their computed values. False with the reason in `error` on failure.
    bool BuildBytes(const std::vector<ConfigPdu*>& pdus, std::vector<uint8_t>& bytes,
                    uint32_t minLength, bool autoFields, std::string* error = nullptr) const;

    // Runs the processing functions over the first `length` bytes: the checksums of the fields
    // the description leaves unset. False with the reason in `error` on failure.
    bool DefaultProcFunctions(const std::vector<ConfigPdu*>& pdus, std::vector<uint8_t>& bytes,
                              uint32_t length, std::string* error = nullptr) const;
};

}  // namespace orx::common
