#pragma once

#include <orx/ids/responder.h>
#include "FrameResponseCommand.h"

namespace orx::responder {

// Starts the responders of the selected configurations ("responder_1.Start" per port).
class CFrameResponseStartCommand : public CFrameResponseCommand {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::FrameResponseStartCommand::kClass;
    }
    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CFrameResponseStartCommand() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }
    void SetupMessage(Message* message, const std::vector<uint32_t>& handles) override;
    bool StateAfterCompletion() const override { return false; }
};

}  // namespace orx::responder
