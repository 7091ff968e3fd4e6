#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/core/Validation.h>
#include <orx/framework/Scriptable.h>
#include <orx/ids/responder.h>

namespace orx::responder {

// Turns a text of hexadecimal digits into bytes, the host's way (ConvertAsciiHexToBin); a text
// that is not hexadecimal raises COrxRunTimeError naming `what` and the text.
std::vector<uint8_t> HexToBytes(const std::string& hex, const std::string& what);

// One patch of a response: at a byte offset of the received frame, under a byte mask, put a
// value. Takes effect only under a profile that patches the received frame.
class CFrameResponseModifier : public orx::framework::CScriptable {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::FrameResponseModifier::kClass;
    }
    static constexpr orx::framework::PropId PROP_OPCODE =
        orx::ids::responder::FrameResponseModifier::Opcode;
    static constexpr orx::framework::PropId PROP_OFFSET =
        orx::ids::responder::FrameResponseModifier::Offset;
    static constexpr orx::framework::PropId PROP_MASK =
        orx::ids::responder::FrameResponseModifier::Mask;
    static constexpr orx::framework::PropId PROP_VALUE =
        orx::ids::responder::FrameResponseModifier::Value;

    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CFrameResponseModifier() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }

    uint16_t GetOpcode() const { return GetT<uint16_t>(PROP_OPCODE); }
    uint32_t GetOffset() const { return GetT<uint32_t>(PROP_OFFSET); }
    std::string GetMask() const { return GetT<std::string>(PROP_MASK); }
    std::string GetValue() const { return GetT<std::string>(PROP_VALUE); }

    // Fills the record's Mask and Value byte arrays; the value is right-aligned under the mask
    // (zero bytes in front), a value longer than the mask is kept whole.
    template <class Record>
    void DataToIdl(Record& record) const {
        record.Mask = HexToBytes(GetMask(), MaskName());
        std::vector<uint8_t> value = HexToBytes(GetValue(), ValueName());
        if (value.size() < record.Mask.size()) {
            value.insert(value.begin(), record.Mask.size() - value.size(), 0);
        }
        record.Value = std::move(value);
    }

    void ValidateModifier(orx::core::ValidationContext& context);

  private:
    std::string MaskName() const { return GetName() + " Mask"; }
    std::string ValueName() const { return GetName() + " Value"; }
};

}  // namespace orx::responder
