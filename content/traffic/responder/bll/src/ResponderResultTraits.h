#pragma once

#include <cstdint>
#include <string>

#include <orx/core/ResultAssistant.h>

namespace orx::responder {

// Describes the frame-response counters to the host's result machinery: the IL message set and
// table they come from, the requests that ask for them and how rows find their result objects.
class CResponderResultTraits : public orx::core::SimpleResultHandlerAssistantTraits {
  public:
    CResponderResultTraits();
    ~CResponderResultTraits() override = default;

    orx::core::ResultType GetResultType() const override { return m_resultType; }
    std::string GetMsgSetName() const override { return "responder_1"; }
    std::string GetBllEotTblName() const override { return "FrameResponseResults"; }
    std::string GetIlTblName() const override { return "ResponderProfileResults"; }
    orx::core::DoSqlCb GetDoSqlCb() const override;
    orx::core::NtfyStartCb GetNtfyStartCb() const override;
    orx::core::NtfyEndCb GetNtfyEndCb() const override;
    orx::core::CIlResultGenericProcessor* GetIlProcessor(orx::core::CSubscriptionRecord& record,
                                                         size_t commandIndex) override;
    void SetResultKey(orx::framework::CScriptable& object, uint32_t key, bool dataSet) override;
    orx::core::ResultKeyGetter GetResultKeyGetter() const override;
    void NotifyStartSubscription(const orx::core::ResultType& type, uint32_t id) override;
    void NotifyEndSubscription(const orx::core::ResultType& type, uint32_t id) override;
    void GetEotPortSet(orx::core::EotPortSet& ports) override;
    std::string GetEotIlUniqueColumnName() const override { return std::string(); }
    std::string GetCustomParentColumnSource() const override { return "PrimaryHandle"; }
    bool GetEoTSavePortHandleFlag() const override { return true; }
    orx::core::CIlResultQueryInterface* GetQryInterfaceGetter() override;

    // Rows name a result object by its configuration's handle (its own when it has no parent).
    static uint32_t GetResultKey(orx::framework::CScriptable& object);

  private:
    orx::core::ResultType m_resultType;
};

}  // namespace orx::responder
