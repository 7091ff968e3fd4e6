#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/ids/core.h>

namespace orx::core {

// Decides how the host shows the frame of a PDU container: as a frame to send, or as a filter
// (where only the fields that are set matter).
class CPduFormatter {
  public:
    virtual ~CPduFormatter() = default;
    virtual const char* GetName() const { return "Frame"; }
    virtual bool ShowsOnlySetFields() const { return false; }
};

class FilterPduFormatter : public CPduFormatter {
  public:
    static const FilterPduFormatter& Instance();
    const char* GetName() const override { return "Filter"; }
    bool ShowsOnlySetFields() const override { return true; }
};

// Where one PDU sits in a generated frame.
struct PduPlacement {
    std::string name;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// An object that carries a frame description as XML text in its "FrameConfig" property.
class CPduContainer : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return orx::ids::core::PduContainer::kClass; }

    std::string GetFrameConfig() const { return GetT<std::string>(PROP_PDU_FRAME_CONFIG); }
    void SetFrameConfig(const std::string& xml) { Set(PROP_PDU_FRAME_CONFIG, xml); }
    virtual const CPduFormatter& GetFormatter() const;

    // The frame as it is sent and where each of its PDUs sits, for the host to show or save.
    // Classes that generate frames override it; raises COrxRunTimeError when the frame cannot
    // be built (or the class builds none).
    virtual void GetFrame(std::vector<uint8_t>& bytes, std::vector<PduPlacement>& pdus);
};

}  // namespace orx::core
