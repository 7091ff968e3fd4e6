#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <orx/common/ConfigPdu.h>
#include <orx/common/PduFieldType.h>

namespace orx::responder {

// One field a frame description sets, with its path ("ipv4:IPv4.sourceAddr",
// "ethernet:EthernetII/vlans/Vlan.id"). The element lives as long as the parsed PDU list.
struct PathElement {
    std::string path;
    orx::common::ConfigElement* element = nullptr;
};

// Appends every element below `pdu` named `name` (a nested PDU by its type name, else by its
// definition's name, else "Unknown"); true when `found` is non-empty afterwards.
bool FindAllConfigElements(orx::common::ConfigPdu* pdu, const std::string& name,
                           std::vector<orx::common::ConfigElement*>& found);

// Appends every field below `pdu` whose value the description sets, with its path. Top-level
// callers pass an empty prefix.
void GetAllOverriddenConfigElements(orx::common::ConfigPdu* pdu, std::vector<PathElement>& out,
                                    std::string prefix);

// Paths of the fields that have a named filter form, and those forms.
const std::map<std::string, std::string>& exprMap();

// The named filter form of a path ("ether src"), or an empty string.
std::string ConvertPduFieldToHexdumpField(const std::string& path);

// Replaces `mask` by the bit mask of a field starting at bit `pos` of its first byte.
void CalcMask(unsigned pos, unsigned bitLength, std::vector<uint8_t>& mask);

// Replaces `out` by the bytes of a value text placed in the field's span. Raises
// COrxRunTimeError for an integer or address text that does not read as one.
void GetValueBytes(std::vector<uint8_t>& out, const std::string& text,
                   orx::common::PduFieldType type, unsigned pos, unsigned bitLength);

// The byte-match form of one field: where it sits and what its comparisons cover.
struct ByteMatch {
    uint32_t byteOffset;  // of the field's first byte in the payload
    size_t payloadSize;   // bytes
    bool maskNeeded;      // write "& 0x<mask>" where the match mask is not all ones
    unsigned firstChunk;  // length of the leading chunk (1 to 4); later chunks are 4 bytes
    const std::vector<uint8_t>& matchMask;
};

// One pass of "ether[...]" comparisons with operator `op` against `values`, one per chunk of
// the match mask whose bytes are not all zero, joined by " and "; empty when none is written.
std::string WriteByteMatchPass(const ByteMatch& match, const char* op,
                               const std::vector<uint8_t>& values);

// "0x" and two lowercase hex digits per byte; empty for no bytes.
std::string BytesToStr(const std::vector<uint8_t>& bytes);

}  // namespace orx::responder
