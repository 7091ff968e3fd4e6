// Byte generation of parsed frames and their processing functions (checksums).
#include <algorithm>
#include <cstring>

#include <orx/common/Checksum.h>
#include <orx/common/XmlFrameBuilder.h>

namespace orx::common {

namespace {

// Writes the low `bitLength` bits of right-aligned `value` at `bitOffset` of the frame.
void WriteBits(std::vector<uint8_t>& frame, uint32_t bitOffset, uint32_t bitLength,
               const uint8_t* value, size_t valueBytes) {
    if (bitLength == 0)
        return;
    if (bitOffset % 8 == 0 && bitLength % 8 == 0 && valueBytes * 8 >= bitLength) {
        const size_t n = bitLength / 8;
        std::memcpy(frame.data() + bitOffset / 8, value + valueBytes - n, n);
        return;
    }
    const uint64_t valueBits = static_cast<uint64_t>(valueBytes) * 8;
    for (uint32_t i = 0; i < bitLength; ++i) {
        // Bit i of the field, counted from its most significant bit.
        const uint64_t fromEnd = bitLength - 1 - i;
        int bit = 0;
        if (fromEnd < valueBits) {
            const uint64_t src = valueBits - 1 - fromEnd;
            bit = (value[src / 8] >> (7 - src % 8)) & 1;
        }
        const uint32_t dst = bitOffset + i;
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (dst % 8));
        if (bit) {
            frame[dst / 8] |= mask;
        } else {
            frame[dst / 8] &= static_cast<uint8_t>(~mask);
        }
    }
}

void WriteNumber(std::vector<uint8_t>& frame, const ConfigElement& element, uint64_t value) {
    uint8_t bytes[8];
    for (int i = 7; i >= 0; --i) {
        bytes[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
    WriteBits(frame, element.GetBitOffset(), element.GetBitLength(), bytes, sizeof bytes);
}

struct BuildContext {
    const std::vector<ConfigPdu*>& pdus;
    size_t index;         // top-level PDU being written
    uint32_t frameBytes;  // generated length, before padding
    bool autoFields;
    std::string* error;
};

bool AutoValue(const BuildContext& ctx, const ConfigPdu& top, const FieldDef& field,
               uint64_t& value) {
    const PduDef* self = top.GetPduType();
    const PduDef* next =
        ctx.index + 1 < ctx.pdus.size() ? ctx.pdus[ctx.index + 1]->GetPduType() : nullptr;
    const uint32_t start = top.GetBitOffset() / 8;
    const uint32_t end = (top.GetBitOffset() + top.GetBitLength() + 7) / 8;
    switch (field.autoRule) {
        case AutoRule::NextEtherType:
            if (!next || next->etherType == 0)
                return false;
            value = next->etherType;
            return true;
        case AutoRule::NextIpProtocol: {
            if (!next)
                return false;
            const uint8_t number =
                self && self->ipVersion == 6 ? next->ip6Protocol : next->ipProtocol;
            if (number == 0)
                return false;
            value = number;
            return true;
        }
        case AutoRule::LengthFromPduStart:
            value = ctx.frameBytes - start;
            return true;
        case AutoRule::LengthAfterPdu:
            value = ctx.frameBytes > end ? ctx.frameBytes - end : 0;
            return true;
        case AutoRule::None:
            break;
    }
    return false;
}

bool WritePdu(const BuildContext& ctx, const ConfigPdu& top, const ConfigPdu& pdu,
              std::vector<uint8_t>& frame) {
    for (const auto& element : pdu.GetElements()) {
        if (const ConfigPdu* nested = element->AsPdu()) {
            if (!WritePdu(ctx, top, *nested, frame))
                return false;
            continue;
        }
        const FieldDef* field = element->GetDefinition();
        uint64_t value = 0;
        if (ctx.autoFields && field && element->GetValueText().empty() &&
            AutoValue(ctx, top, *field, value)) {
            if (field->bits < 64 && (value >> field->bits) != 0) {
                if (ctx.error) {
                    *ctx.error = "pdu '" + top.GetName() + "': " + field->name + " " +
                                 std::to_string(value) + " does not fit " +
                                 std::to_string(field->bits) + " bits";
                }
                return false;
            }
            WriteNumber(frame, *element, value);
            continue;
        }
        const std::vector<uint8_t>& bytes = element->GetGeneratedBytes();
        WriteBits(frame, element->GetBitOffset(), element->GetBitLength(), bytes.data(),
                  bytes.size());
    }
    return true;
}

uint32_t ReadAddressSum(const ConfigPdu& ip, const char* name, const std::vector<uint8_t>& frame,
                        uint32_t sum, bool& ok) {
    const ConfigElement* address = ip.FindConfigElement(name, nullptr);
    if (!address) {
        ok = false;
        return sum;
    }
    const uint32_t at = address->GetBitOffset() / 8;
    const uint32_t n = address->GetBitLength() / 8;
    if (at + n > frame.size()) {
        ok = false;
        return sum;
    }
    return ChecksumAdd(sum, frame.data() + at, n);
}

}  // namespace

bool XmlFrameBuilder::BuildBytes(const std::vector<ConfigPdu*>& pdus, std::vector<uint8_t>& bytes,
                                 uint32_t minLength, bool autoFields, std::string* error) const {
    bytes.clear();
    if (pdus.empty()) {
        if (error)
            *error = "the frame has no PDU";
        return false;
    }
    for (const ConfigPdu* pdu : pdus) {
        if (!pdu) {
            if (error)
                *error = "the frame's PDU list holds a null PDU";
            return false;
        }
    }
    const ConfigPdu& last = *pdus.back();
    const uint32_t frameBytes = (last.GetBitOffset() + last.GetBitLength() + 7) / 8;
    bytes.assign(frameBytes, 0);
    for (size_t i = 0; i < pdus.size(); ++i) {
        const BuildContext ctx{pdus, i, frameBytes, autoFields, error};
        if (!WritePdu(ctx, *pdus[i], *pdus[i], bytes)) {
            bytes.clear();
            return false;
        }
    }
    if (bytes.size() < minLength)
        bytes.resize(minLength, 0);
    return true;
}

bool XmlFrameBuilder::DefaultProcFunctions(const std::vector<ConfigPdu*>& pdus,
                                           std::vector<uint8_t>& bytes, uint32_t length,
                                           std::string* error) const {
    const uint32_t end = std::min<uint32_t>(length, static_cast<uint32_t>(bytes.size()));
    // Innermost first: an outer checksum covers the inner ones.
    for (size_t i = pdus.size(); i-- > 0;) {
        const ConfigPdu* pdu = pdus[i];
        if (!pdu)
            continue;
        const uint32_t start = pdu->GetBitOffset() / 8;
        for (const auto& element : pdu->GetElements()) {
            const FieldDef* field = element->GetDefinition();
            if (!field || field->checksum == ChecksumRule::None ||
                !element->GetValueText().empty()) {
                continue;
            }
            const uint32_t at = element->GetBitOffset() / 8;
            if (element->GetBitOffset() % 8 != 0 || element->GetBitLength() != 16 || at + 2 > end) {
                if (error) {
                    *error = "pdu '" + pdu->GetName() + "': " + field->name + " lies outside the " +
                             std::to_string(end) + " bytes processed";
                }
                return false;
            }
            bytes[at] = 0;
            bytes[at + 1] = 0;
            uint32_t sum = 0;
            if (field->checksum == ChecksumRule::Header) {
                const uint32_t n = std::min(pdu->GetBitLength() / 8, end - start);
                sum = ChecksumAdd(0, bytes.data() + start, n);
            } else {
                const ConfigPdu* ip = nullptr;
                for (size_t j = i; j-- > 0;) {
                    const PduDef* type = pdus[j] ? pdus[j]->GetPduType() : nullptr;
                    if (type && type->ipVersion != 0) {
                        ip = pdus[j];
                        break;
                    }
                }
                const int version = ip ? ip->GetPduType()->ipVersion : 0;
                const bool pseudo = field->checksum == ChecksumRule::PseudoHeaderOnIpv6
                                        ? version == 6
                                        : version != 0;
                if (field->checksum != ChecksumRule::PseudoHeaderOnIpv6 && !pseudo) {
                    continue;  // a transport header outside IP has no checksum to compute
                }
                const uint32_t covered = end - start;
                if (pseudo) {
                    bool ok = true;
                    sum = ReadAddressSum(*ip, "sourceAddr", bytes, sum, ok);
                    sum = ReadAddressSum(*ip, "destAddr", bytes, sum, ok);
                    if (!ok) {
                        if (error)
                            *error = "pdu '" + ip->GetName() + "' has no addresses";
                        return false;
                    }
                    const PduDef* self = pdu->GetPduType();
                    const uint8_t protocol = version == 6 ? self->ip6Protocol : self->ipProtocol;
                    // IPv4: zero, protocol, 16-bit length; IPv6: 32-bit length, zeros, next
                    // header. Both add up to these words.
                    const uint8_t words[4] = {0, protocol, static_cast<uint8_t>(covered >> 8),
                                              static_cast<uint8_t>(covered & 0xFF)};
                    sum = ChecksumAdd(sum, words, sizeof words);
                }
                sum = ChecksumAdd(sum, bytes.data() + start, covered);
            }
            uint16_t value = ChecksumFinish(sum);
            if (value == 0 && field->checksum == ChecksumRule::PseudoHeaderZeroOnes)
                value = 0xFFFF;
            bytes[at] = static_cast<uint8_t>(value >> 8);
            bytes[at + 1] = static_cast<uint8_t>(value & 0xFF);
        }
    }
    return true;
}

}  // namespace orx::common
