#pragma once

#include <orx/framework/Command.h>
#include <orx/ids/responder.h>

namespace orx::responder {

class CBaseFrameResponseConfig;

// Shows the filter expression a configuration sends to the IL: takes the configuration by
// handle and writes its filter (converted from its frame description when it uses one) into
// FilterValue. Changes nothing in the configuration.
class CFrameConfigConvertCommand : public orx::framework::CCommand {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::FrameConfigConvertCommand::kClass;
    }
    static constexpr orx::framework::PropId PROP_CONFIG =
        orx::ids::responder::FrameConfigConvertCommand::Config;
    static constexpr orx::framework::PropId PROP_FILTER_VALUE =
        orx::ids::responder::FrameConfigConvertCommand::FilterValue;

    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CFrameConfigConvertCommand() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }

    uint32_t GetConfig() const { return GetT<uint32_t>(PROP_CONFIG); }
    std::string GetFilterValue() const { return GetT<std::string>(PROP_FILTER_VALUE); }

    bool Validate(orx::framework::CBaseValidationContext& context) override;
    void DoRun() override;

  private:
    CBaseFrameResponseConfig* m_config = nullptr;
};

}  // namespace orx::responder
