#pragma once

#include <orx/core/Protocol.h>

// The responder's protocol: the host starts, stops and clears all responders through it.
class CResponderProtocol : public orx::core::CProtocol {
  public:
    static CResponderProtocol& Instance();

    ~CResponderProtocol() override = default;

    uint32_t GetId() const override { return 2; }
    std::string GetName() const override { return "Responder"; }
    std::string GetCategory() const override { return "Traffic"; }
    uint32_t GetCategoryStartPriority() const override { return 2; }
    uint32_t GetProtocolStartPriority() const override { return 2; }
    void ProcessControlMessage(const ControlMessage* message,
                               const std::vector<uint32_t>& handles) override;
    std::vector<uint32_t> GetManagedProtocolConfigType() const override;
    void ClearResult() override;
    void StartStopProtocol(bool start) override;
    void StartStopProtocol(bool start, const std::vector<uint32_t>& handles) override;
    bool StartStopProtocolConfigs(bool start, orx::core::ScriptableVec& configs) override;
    uint32_t GetProtocolTransmitOSILayer() const override { return 2; }
    uint32_t GetProtocolOperationOSILayer() const override { return 2; }

  private:
    CResponderProtocol() = default;
};
