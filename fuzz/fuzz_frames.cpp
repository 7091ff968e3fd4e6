// Parses arbitrary text as a frame description. A description that parses must lay its PDUs
// and fields out end to end, build into bytes that hold every field's value where the layout
// puts it (the same bytes every time), and go through the checksum functions; one that does not
// parse must leave nothing behind and say on which line it failed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <orx/common/ConfigModifierSet.h>
#include <orx/common/ConfigPdu.h>
#include <orx/common/XmlFrameBuilder.h>
#include "FuzzSupport.h"

namespace {

using fuzz::broken;

using namespace orx::common;

constexpr uint64_t kMaxFrameBits = 65535u * 8;

// Bit `bit` of the frame, counted from the first bit of its first byte.
int BitAt(const std::vector<uint8_t>& frame, uint64_t bit) {
    return (frame[bit / 8] >> (7 - bit % 8)) & 1;
}

// Bit `i` (from the most significant) of a `length`-bit value right-aligned in `value`.
int ValueBit(const std::vector<uint8_t>& value, uint32_t length, uint32_t i) {
    const uint64_t valueBits = uint64_t{value.size()} * 8;
    const uint64_t fromEnd = length - 1 - i;
    if (fromEnd >= valueBits)
        return 0;
    const uint64_t at = valueBits - 1 - fromEnd;
    return (value[at / 8] >> (7 - at % 8)) & 1;
}

// Checks the layout below `pdu`, in wire order from `cursor`; returns where it ends.
uint64_t CheckLayout(const ConfigPdu& pdu, uint64_t cursor, const ConfigPdu& top) {
    if (pdu.GetBitOffset() != cursor)
        broken("pdu '" + pdu.GetName() + "' does not start where the one before it ends");
    for (const auto& element : pdu.GetElements()) {
        if (element->GetBitOffset() != cursor)
            broken("element '" + element->GetName() + "' is not where the one before it ends");
        if (const ConfigPdu* nested = element->AsPdu()) {
            cursor = CheckLayout(*nested, cursor, top);
        } else {
            cursor += element->GetBitLength();
            if (top.FindConfigElement(element->GetName(), nullptr) == nullptr)
                broken("element '" + element->GetName() + "' is not found by its own name");
        }
    }
    if (cursor != uint64_t{pdu.GetBitOffset()} + pdu.GetBitLength())
        broken("pdu '" + pdu.GetName() + "' is not as long as its elements");
    return cursor;
}

// Without automatic fields every field writes its generated value: read each one back.
void CheckValues(const ConfigPdu& pdu, const std::vector<uint8_t>& frame) {
    for (const auto& element : pdu.GetElements()) {
        if (const ConfigPdu* nested = element->AsPdu()) {
            CheckValues(*nested, frame);
            continue;
        }
        const std::vector<uint8_t>& value = element->GetGeneratedBytes();
        const uint32_t length = element->GetBitLength();
        for (uint32_t i = 0; i < length; ++i) {
            if (BitAt(frame, uint64_t{element->GetBitOffset()} + i) != ValueBit(value, length, i))
                broken("field '" + element->GetName() + "' does not hold its value");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const XmlFrameBuilder& builder = XmlFrameBuilder::Instance();
    std::vector<ConfigPdu*> pdus;
    ConfigModifierSet modifiers;
    bool anyFieldSet = true;
    std::ostringstream errors;
    std::ostringstream trace;
    if (!builder.ParseFrame(text, pdus, modifiers, anyFieldSet, errors, &trace)) {
        if (!pdus.empty() || anyFieldSet)
            broken("a refused description left PDUs or fields behind");
        if (errors.str().rfind("line ", 0) != 0)
            broken("a refusal does not name its line: " + errors.str());
        return 0;
    }
    if (pdus.empty())
        broken("a description parsed into no PDU");

    uint64_t end = 0;
    for (const ConfigPdu* pdu : pdus)
        end = CheckLayout(*pdu, end, *pdu);
    if (end > kMaxFrameBits)
        broken("the frame is longer than 65535 bytes");
    const size_t frameBytes = (end + 7) / 8;

    std::vector<uint8_t> plain;
    std::string error;
    if (!builder.BuildBytes(pdus, plain, 0, false, &error))
        broken("a parsed frame does not build without automatic fields: " + error);
    if (plain.size() != frameBytes)
        broken("the built frame is not as long as its layout");
    for (const ConfigPdu* pdu : pdus)
        CheckValues(*pdu, plain);

    // Padded, with the automatic fields, twice: the same bytes each time.
    const uint32_t minLength = static_cast<uint32_t>(size % 128);
    std::vector<uint8_t> once, again;
    error.clear();
    const bool built = builder.BuildBytes(pdus, once, minLength, true, &error);
    if (!built && error.empty())
        broken("a frame that does not build gives no reason");
    if (built) {
        if (once.size() != std::max<size_t>(frameBytes, minLength))
            broken("the padded frame has the wrong length");
        if (!builder.BuildBytes(pdus, again, minLength, true) || again != once)
            broken("building a frame twice gives different bytes");
        error.clear();
        if (!builder.DefaultProcFunctions(pdus, once, static_cast<uint32_t>(once.size()), &error) &&
            error.empty()) {
            broken("checksums that cannot be computed give no reason");
        }
        // Over a part of the frame only, as a caller with a short buffer would ask.
        (void)builder.DefaultProcFunctions(pdus, again, static_cast<uint32_t>(frameBytes / 2));
    }

    builder.ClearFrame(pdus, modifiers);
    if (!pdus.empty())
        broken("ClearFrame left PDUs");
    return 0;
}
