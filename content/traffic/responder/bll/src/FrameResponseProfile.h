#pragma once

#include <cstdint>
#include <vector>

#include <orx/core/Validation.h>
#include <orx/ids/responder.h>
#include "ResponderContainer.h"

namespace orx::responder {

class CFrameResponseModifier;

// One response of a configuration: its own frame (the container's frame description), or the
// received frame patched by its modifiers; the port that sends it, and a delay.
class CFrameResponseProfile : public CResponderContainer {
  public:
    static constexpr orx::framework::ClassId CLASS_ID() {
        return orx::ids::responder::FrameResponseProfile::kClass;
    }
    static constexpr orx::framework::PropId PROP_TX_PORT =
        orx::ids::responder::FrameResponseProfile::TxPort;
    static constexpr orx::framework::PropId PROP_DELAY =
        orx::ids::responder::FrameResponseProfile::Delay;
    static constexpr orx::framework::PropId PROP_USE_RX_FRAME =
        orx::ids::responder::FrameResponseProfile::UseRxFrame;

    static const orx::framework::CMetaClass& GetMetaClassStatic();

    ~CFrameResponseProfile() override = default;
    const orx::framework::CMetaClass& GetMetaClass() const override { return GetMetaClassStatic(); }
    bool IsSingleton() const override { return false; }

    uint32_t GetTxPort() const { return GetT<uint32_t>(PROP_TX_PORT); }
    uint32_t GetDelay() const { return GetT<uint32_t>(PROP_DELAY); }
    bool GetUseRxFrame() const { return GetT<bool>(PROP_USE_RX_FRAME); }

    // Index of the transmit port, or 0xFFFFFFFF when TxPort names no port.
    uint32_t GetPortIndex();
    // Appends the active child modifiers when the profile patches the received frame.
    void GetActiveModifiers(std::vector<CFrameResponseModifier*>& out);
    void ValidateProfile(orx::core::ValidationContext& context);

    // The response frame as the IL receives it (processing functions run, no preamble) and the
    // PDUs' places in it.
    void GetFrame(std::vector<uint8_t>& bytes, std::vector<orx::core::PduPlacement>& pdus) override;
};

}  // namespace orx::responder
