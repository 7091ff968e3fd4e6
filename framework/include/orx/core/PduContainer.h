#pragma once

#include <string>

#include "orx/core/HostClasses.h"

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

// An object that carries a frame description as XML text in its "FrameConfig" property.
class CPduContainer : public CScriptable {
public:
    static constexpr ClassId CLASS_ID() { return 0x01200000; }

    std::string GetFrameConfig() const { return GetT<std::string>(PROP_PDU_FRAME_CONFIG); }
    void SetFrameConfig(const std::string& xml) { Set(PROP_PDU_FRAME_CONFIG, xml); }
    virtual const CPduFormatter& GetFormatter() const;
};

}  // namespace orx::core
