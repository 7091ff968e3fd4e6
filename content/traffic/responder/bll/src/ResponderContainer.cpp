#include "ResponderContainer.h"

#include <algorithm>
#include <sstream>

#include <orx/common/Convert.h>
#include <orx/common/PduLib.h>
#include <orx/common/XmlFrameBuilder.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/Logger.h>
#include "PduFieldFunctions.h"
#include "ResponderCommon.h"

namespace orx::responder {

using orx::common::ConfigElement;
using orx::common::ConfigPdu;
using orx::common::PduFieldType;
using orx::common::XmlFrameBuilder;
using orx::framework::COrxRunTimeError;
using orx::framework::LOG_DEBUG;
using orx::framework::LOG_ERROR;

namespace {

constexpr uint32_t kPreambleBytes = 8;

orx::framework::BLLLogger& devLogger() {
    static orx::framework::BLLLogger* logger =
        orx::framework::BLLLoggerFactory::GetInstance()->GetLogger(LOGGER_DEV);
    return *logger;
}

}  // namespace

CResponderContainer::~CResponderContainer() {
    XmlFrameBuilder::Instance().ClearFrame(m_pdus, m_modifiers);
}

std::string CResponderContainer::ParseFrameXml() {
    // The parse is kept until "FrameConfig" changes (OnPropertyModified); parsing the same text
    // again would give the same PDUs, and validation asks for every frame on every apply.
    if (m_parsed)
        return std::string();
    const std::string text = GetFrameConfig();
    XmlFrameBuilder& builder = XmlFrameBuilder::Instance();
    // Released first, so a failed parse never leaves an empty list marked as parsed.
    builder.ClearFrame(m_pdus, m_modifiers);
    m_parsed = false;
    m_buildChecked = false;
    // One stream per thread, emptied for each parse: building a stream costs more than parsing.
    thread_local std::ostringstream errors;
    errors.str(std::string());
    errors.clear();
    bool anyFieldSet = false;
    if (builder.ParseFrame(text, m_pdus, m_modifiers, anyFieldSet, errors, nullptr)) {
        m_parsed = true;
        return std::string();
    }
    std::string reason = errors.str();
    return reason.empty() ? std::string("the frame description does not parse") : reason;
}

void CResponderContainer::EnsureParsed() {
    if (m_parsed)
        return;
    const std::string error = ParseFrameXml();
    if (!error.empty())
        throw COrxRunTimeError(error);
}

bool CResponderContainer::HasPreamble() const {
    for (const ConfigPdu* pdu : m_pdus) {
        if (!pdu || pdu->GetKind() != orx::common::ELEMENT_PDU)
            continue;
        const std::string& type = pdu->GetFullyQualifiedTypeName();
        if (type.find("ethernet") == std::string::npos &&
            type.find("MAC-in-MAC") == std::string::npos) {
            continue;
        }
        if (pdu->FindConfigElement("preamble", nullptr))
            return true;
    }
    return false;
}

void CResponderContainer::GetPayload(std::vector<uint8_t>& bytes, bool runProcessing) {
    EnsureParsed();
    XmlFrameBuilder& builder = XmlFrameBuilder::Instance();
    std::string reason;
    const bool preamble = HasPreamble();
    if (!builder.BuildBytes(m_pdus, bytes, 0, true, &reason) ||
        (preamble && bytes.size() < kPreambleBytes)) {
        if (devLogger().IsEnabledFor(LOG_ERROR)) {
            devLogger().Error(GetName() + ": " + (reason.empty() ? "preamble cut short" : reason),
                              __FILE__, __LINE__);
        }
        throw COrxRunTimeError(GetName() + " failed to build frame byte stream");
    }
    if (runProcessing && !builder.DefaultProcFunctions(
                             m_pdus, bytes, static_cast<uint32_t>(bytes.size() % 65536), &reason)) {
        if (devLogger().IsEnabledFor(LOG_ERROR)) {
            devLogger().Error(GetName() + ": " + reason, __FILE__, __LINE__);
        }
        throw COrxRunTimeError(GetName() + " failed to run processing functions");
    }
    if (preamble)
        bytes.erase(bytes.begin(), bytes.begin() + kPreambleBytes);
}

std::string CResponderContainer::CheckPayloadBuilds() {
    if (m_parsed && m_buildChecked)
        return m_buildError;
    m_buildPayload.clear();
    try {
        GetPayload(m_buildPayload, true);
        m_buildError.clear();
    } catch (const COrxRunTimeError& e) {
        m_buildPayload.clear();
        m_buildError = e.what();
    }
    // A description that does not parse is not kept: it is parsed again next time.
    m_buildChecked = m_parsed;
    return m_buildError;
}

void CResponderContainer::GetProcessedPayload(std::vector<uint8_t>& bytes) {
    if (m_parsed && m_buildChecked && m_buildError.empty()) {
        bytes = m_buildPayload;
        return;
    }
    GetPayload(bytes, true);
}

uint32_t CResponderContainer::GetFieldInfo(std::vector<FieldInfo>& infos) {
    EnsureParsed();
    std::vector<uint8_t> payload;
    GetPayload(payload, false);
    const uint32_t preamble = HasPreamble() ? kPreambleBytes : 0;
    // Subtractions saturate: a PDU never starts or ends inside the preamble of another.
    auto minus = [](uint32_t a, uint32_t b) { return a > b ? a - b : 0; };
    for (const ConfigPdu* pdu : m_pdus) {
        const uint32_t o = pdu->GetBitOffset();
        const uint32_t l = pdu->GetBitLength();
        FieldInfo info;
        info.name = pdu->GetName();
        info.offset = o > 7 ? minus(o / 8, preamble) : 0;
        info.length = l / 8 + ((o + l) % 8 != 0 ? 1 : 0);
        if (o <= 7)
            info.length = minus(info.length, preamble);
        infos.push_back(std::move(info));
    }
    return static_cast<uint32_t>(payload.size());
}

std::string CResponderContainer::FindEmptyElements() {
    if (!m_parsed) {
        std::string error = ParseFrameXml();
        if (!error.empty())
            return error;
    }
    std::vector<uint8_t> payload;
    GetPayload(payload, false);
    std::vector<PathElement> selected;
    for (ConfigPdu* pdu : m_pdus)
        GetAllOverriddenConfigElements(pdu, selected, "");
    for (const PathElement& set : selected) {
        if (set.element->GetBitLength() == 0 || set.element->IsEmpty()) {
            return "Field " + set.path +
                   " defines no bits when generated and is invalid for filtering";
        }
    }
    return std::string();
}

void CResponderContainer::OnPropertyModified(orx::framework::Property& property) {
    if (property.GetName() == "FrameConfig") {
        m_parsed = false;
        m_buildChecked = false;
    }
    CPduContainer::OnPropertyModified(property);
}

std::string CResponderContainer::ConvertToTcpdumpFilter() {
    std::vector<uint8_t> payload;
    GetPayload(payload, false);
    const uint32_t preamble = HasPreamble() ? kPreambleBytes : 0;
    orx::framework::BLLLogger& log = devLogger();
    const bool debug = log.IsEnabledFor(LOG_DEBUG);

    // Few keys: a vector searched in place, sorted once for the walk in key order.
    std::vector<std::pair<std::string, int>> headerCounts;
    auto countOf = [&headerCounts](const std::string& key) -> int& {
        for (auto& entry : headerCounts) {
            if (entry.first == key)
                return entry.second;
        }
        return headerCounts.emplace_back(key, 0).second;
    };
    bool ipMoved = false;
    bool singleVlan = false;
    bool force = false;
    int tagsInFront = 0;
    std::vector<PathElement> selected;
    std::vector<ConfigElement*> vlans;
    for (ConfigPdu* pdu : m_pdus) {
        const std::string& type = pdu->GetFullyQualifiedTypeName();
        ++countOf(type);
        if (!ipMoved && type.rfind("ip", 0) == 0) {
            // Where libpcap looks for the IP header: behind the Ethernet header and its tags.
            const int64_t offset = int64_t{pdu->GetBitOffset() / 8} - preamble;
            ipMoved = offset != 14 + 4 * tagsInFront;
        }
        vlans.clear();
        if (FindAllConfigElements(pdu, "Vlan", vlans)) {
            int& count = countOf(type + ":Vlan");
            count += static_cast<int>(vlans.size());
            singleVlan = count == 1;
            tagsInFront += static_cast<int>(vlans.size());
        }
        GetAllOverriddenConfigElements(pdu, selected, "");
    }
    std::sort(headerCounts.begin(), headerCounts.end());
    for (const auto& [key, count] : headerCounts) {
        if (count > 1) {
            if (debug)
                log.Debug("More than one header found for " + key, __FILE__, __LINE__);
            force = true;
            break;
        }
    }
    if (ipMoved) {
        if (debug)
            log.Debug("IP Header was moved", __FILE__, __LINE__);
        force = true;
    }

    std::string expression;
    std::vector<uint8_t> mask;
    std::vector<uint8_t> generatedBits;
    std::vector<uint8_t> lowerBytes;
    std::vector<uint8_t> upperBytes;
    std::vector<uint8_t> matchMask;
    for (const PathElement& set : selected) {
        ConfigElement* ele = set.element;
        ORX_ASSERT(ele, "Invalid Element for Filter parsing");

        const orx::common::FieldDef* def = ele->GetDefinition();
        PduFieldType type = PduFieldType::Integer;
        std::string generated;
        if (def) {
            generated = ele->GetGeneratedValueText();
            type = def->type;
            if (type == PduFieldType::NamedType) {
                const orx::common::PduTypeRecord* record =
                    def->owner ? orx::common::PduLib::FindPduType(def->owner, def->typeName)
                               : nullptr;
                if (record && record->kind == 1)
                    type = PduFieldType::Integer;
                if (record && record->kind == 2)
                    type = PduFieldType::HexString;
            }
        }
        std::string lower;
        std::string upper;
        bool equalBounds = false;
        if (ele->GetKind() == orx::common::ELEMENT_RANGE) {
            lower = ele->GetLowerText();
            upper = ele->GetUpperText();
            equalBounds = !lower.empty() && lower == upper;
        }

        const uint32_t bitOffset = ele->GetBitOffset();
        const uint32_t bitLength = ele->GetBitLength();
        if (bitOffset / 8 < preamble) {
            // A preamble field is not in the payload the filter sees.
            if (debug)
                log.Debug(set.path + " lies in the preamble: no term", __FILE__, __LINE__);
            continue;
        }
        const uint32_t byteOffset = bitOffset / 8 - preamble;
        const unsigned pos = bitOffset % 8;
        const uint64_t end = uint64_t{pos} + bitLength;
        const size_t span = std::max<size_t>(1, static_cast<size_t>((end + 7) / 8));
        CalcMask(pos, bitLength, mask);

        generatedBits.clear();
        uint64_t accumulated = 0;
        for (size_t i = 0; i < span; ++i) {
            if (byteOffset + i < payload.size() && i < mask.size()) {
                const uint8_t b = payload[byteOffset + i] & mask[i];
                generatedBits.push_back(b);
                accumulated = accumulated << 8 | b;
            } else if (debug) {
                log.Debug("Payload byte retrieval: Out of range", __FILE__, __LINE__);
            }
        }
        if (type == PduFieldType::Integer && span <= 8) {
            int64_t converted = 0;
            orx::common::ConvertToType(converted, generated);
            const uint64_t value = end % 8 ? accumulated >> (8 - end % 8) : accumulated;
            if (value != static_cast<uint64_t>(converted))
                generated = std::to_string(value);
        }
        if (lower.empty() || upper.empty()) {
            lower = upper = generated;
            lowerBytes = upperBytes = generatedBits;
            matchMask = mask;
            equalBounds = true;
        } else {
            matchMask = generatedBits;
        }
        if (!lower.empty())
            GetValueBytes(lowerBytes, lower, type, pos, bitLength);
        if (!upper.empty())
            GetValueBytes(upperBytes, upper, type, pos, bitLength);
        const bool single = equalBounds || lowerBytes == upperBytes;
        const bool named = single && matchMask == mask;

        if (debug) {
            std::ostringstream line;
            line << set.path << ": Offset: " << byteOffset << " Pos: " << pos
                 << " Force: " << (force ? 1 : 0) << " bytes: " << span << " (" << bitLength
                 << " bits) = " << generated << " (" << lower << "[" << BytesToStr(lowerBytes)
                 << "].." << upper << "[" << BytesToStr(upperBytes) << "]) " << generated << "["
                 << BytesToStr(matchMask) << "] Mask: " << BytesToStr(mask)
                 << " use: " << (named ? 1 : 0) << " got: " << (single ? 1 : 0);
            log.Debug(line.str(), __FILE__, __LINE__);
        }

        std::string term;
        const std::string form = ConvertPduFieldToHexdumpField(set.path);
        if (!force && named && !form.empty()) {
            term = form + " " + lower;
            // "vlan N" moves libpcap's offsets past the tag itself; no bare "vlan" is needed.
            if (set.path.find("/vlans/") != std::string::npos)
                singleVlan = false;
        } else {
            bool maskNeeded = true;
            if (bitOffset % 8 == 0 && bitLength % 8 == 0 && bitLength != 24) {
                maskNeeded = matchMask != mask;
            }
            unsigned first = static_cast<unsigned>((end % 32) / 8 + (end % 8 ? 1 : 0));
            if (first == 0)
                first = 4;
            const ByteMatch match{byteOffset, payload.size(), maskNeeded, first, matchMask};
            if (single) {
                term = WriteByteMatchPass(match, "=", lowerBytes);
            } else {
                term = WriteByteMatchPass(match, ">=", lowerBytes);
                const std::string upperPass = WriteByteMatchPass(match, "<=", upperBytes);
                if (!term.empty() && !upperPass.empty())
                    term += " and ";
                term += upperPass;
            }
        }
        if (term.empty())
            continue;
        if (!expression.empty())
            expression += " and ";
        expression += term;
    }
    // A bare "vlan" shifts the offsets of every term after it, so it goes first.
    if (singleVlan)
        expression = expression.empty() ? "vlan" : "vlan and " + expression;
    return expression;
}

}  // namespace orx::responder
