#pragma once

#include <orx/core/Results.h>

namespace orx::responder {

// The provider of frame-response results for the host's provider-based result views.
class CFrameResponseResultProviderHandler : public orx::core::CResultProviderHandler {
  public:
    ~CFrameResponseResultProviderHandler() override = default;

    std::string GetMsgSetName() const override { return "responder_1"; }
    // Aggregate ports and their members carry no responders.
    bool IsPortApplicable(orx::core::CPort& port) override;
};

}  // namespace orx::responder
