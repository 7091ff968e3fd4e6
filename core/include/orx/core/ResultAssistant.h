#pragma once

// How a plug-in describes the source of its results to the host's result machinery: a traits
// object (message set, IL table, request builders, result key, end-of-test settings), a locator
// (which ports an object's results live on) and a query interface. The host's assistant holds
// the first two; the host reads notification rows into result objects with a processor.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <orx/core/ResultQuery.h>
#include <orx/core/Results.h>
#include <orx/framework/FastDelegate.h>
#include <orx/framework/Scriptable.h>
#include "Stats_1.h"

class Message;

namespace orx::core {

class CPort;
class CIlResultGenericProcessor;

using orx::framework::CScriptable;
using orx::framework::ScriptableVec;

// Builders of the requests the host sends, with the shapes of the message-set operations.
using DoSqlCb = orx::framework::FastDelegate3<Message*, const std::vector<std::string>&, bool>;
using NtfyStartCb = orx::framework::FastDelegate<void(Message*, uint32_t, uint32_t,
                                                      const std::vector<std::string>&, bool)>;
using NtfyEndCb = orx::framework::FastDelegate3<Message*, uint32_t, bool>;
using NtfyStartTableMsgCb = orx::framework::FastDelegate<void(
    Message*, uint32_t, uint32_t, const Stats_1_bll::tableEventProperties_s&, bool)>;
using NtfyEndTableMsgCb = orx::framework::FastDelegate3<Message*, uint32_t, bool>;
using ClearStatsCb = orx::framework::FastDelegate3<Message*, const std::vector<uint32_t>&, bool>;
// The key that rows of the IL name a result object by.
using ResultKeyGetter = orx::framework::FastDelegate1<CScriptable&, uint32_t>;
// Called with a result object after the IL's values were written into it.
using PostIlUpdateProcessHook = orx::framework::FastDelegate1<CScriptable&, void>;
using ItemSizeGetter = orx::framework::FastDelegate1<const CSubscriptionRecord&, uint32_t>;
using ItemSizeByPortGetter =
    orx::framework::FastDelegate2<const CSubscriptionRecord&, uint32_t, uint32_t>;

// Ports whose counters are saved at the end of a test.
using EotPortSet = std::set<CPort*>;

// What a plug-in tells the host about one kind of results. The base answers the defaults.
class SimpleResultHandlerAssistantTraits {
  public:
    virtual ~SimpleResultHandlerAssistantTraits() = default;

    virtual ResultType GetResultType() const = 0;
    virtual std::string GetMsgSetName() const = 0;
    // The table of the end-of-test results file.
    virtual std::string GetBllEotTblName() const = 0;
    // The IL's result table.
    virtual std::string GetIlTblName() const = 0;
    virtual DoSqlCb GetDoSqlCb() const = 0;
    virtual NtfyStartCb GetNtfyStartCb() const = 0;
    virtual NtfyEndCb GetNtfyEndCb() const = 0;
    virtual NtfyStartTableMsgCb GetNtfyStartTableMsgCb() const { return NtfyStartTableMsgCb(); }
    virtual NtfyEndTableMsgCb GetNtfyEndTableMsgCb() const { return NtfyEndTableMsgCb(); }
    // Whether a notification that arrives while its subscription is being rebuilt may be
    // dropped.
    virtual bool IsNtfyDiscardable() const { return false; }
    virtual ClearStatsCb GetClearStatsCb() const { return ClearStatsCb(); }
    virtual uint32_t GetClearStatsKey(CScriptable& object) const {
        return object.GetObjectHandle();
    }
    // The processor of the `commandIndex`-th command's rows of a query (the caller owns it).
    virtual CIlResultGenericProcessor* GetIlProcessor(CSubscriptionRecord& record,
                                                      size_t commandIndex) = 0;
    virtual void SetResultKey(CScriptable& object, uint32_t key, bool dataSet) = 0;
    virtual ResultKeyGetter GetResultKeyGetter() const = 0;
    virtual PostIlUpdateProcessHook GetPostIlUpdateProcessHook() const {
        return PostIlUpdateProcessHook();
    }
    virtual ItemSizeGetter GetItemSizeGetter() const { return ItemSizeGetter(); }
    virtual ItemSizeByPortGetter GetItemSizeByPortGetter() const { return ItemSizeByPortGetter(); }
    virtual void NotifyStartSubscription(const ResultType& type, uint32_t id) = 0;
    virtual void NotifyEndSubscription(const ResultType& type, uint32_t id) = 0;
    virtual void NotifySubscriptionPostProcess(CSubscriptionRecord& record) { (void)record; }
    virtual void GetEotPortSet(EotPortSet& ports) = 0;
    // An IL column whose value makes a row unique in the end-of-test table; empty: the parent.
    virtual std::string GetEotIlUniqueColumnName() const = 0;
    virtual std::string GetEotWhereClause() const { return std::string(); }
    // The IL column that holds the parent's handle.
    virtual std::string GetCustomParentColumnSource() const = 0;
    virtual bool GetEoTSavePortHandleFlag() const { return false; }
    virtual std::string GetResultPropertyMode() const { return std::string(); }
    virtual bool IgnoreDuplicateResultsDuringEotSave() const { return true; }
    // A new query interface (the caller owns it).
    virtual CIlResultQueryInterface* GetQryInterfaceGetter() = 0;
};

// Tells the host which ports hold the results of an object, and whether a subscription's roots
// can be served.
class CResultLocatorForAssistant {
  public:
    virtual ~CResultLocatorForAssistant() = default;
    // The live objects of the subscription's parent class at or beneath its roots: descendants
    // through the parent-child relation and, for a port, the emulated devices related to it.
    // In handle order, each once.
    virtual void GetResultParents(const ResultSubscription& subscription, ScriptableVec& parents);
    virtual void GetPortsForObj(const CScriptable* object, ScriptableVec& ports) const = 0;
    virtual bool ValidateSubscriptionRoots(ResultSubscription& subscription) const = 0;
};

// Serves one kind of results: owns its traits and locator.
class CSimpleResultHandlerAssistant {
  public:
    CSimpleResultHandlerAssistant(SimpleResultHandlerAssistantTraits* traits,
                                  CResultLocatorForAssistant* locator)
        : m_traits(traits), m_locator(locator) {}

    SimpleResultHandlerAssistantTraits& GetTraits() const { return *m_traits; }
    CResultLocatorForAssistant& GetLocator() const { return *m_locator; }

  private:
    std::unique_ptr<SimpleResultHandlerAssistantTraits> m_traits;
    std::unique_ptr<CResultLocatorForAssistant> m_locator;
};

// What a notification parser makes of a "DoSQLNotifyFaster" notification: its subscription's
// notification id and the rows of each command.
class CIlSqlResultNtfyMsgWrapper : public CIlNotificationWrapper {
  public:
    using Parser = orx::framework::FastDelegate3<const Message*, uint32_t*,
                                                 std::vector<Stats_1_bll::commandResultFaster_s>*>;
    // Reads the notification at once; raises what the parser raises.
    CIlSqlResultNtfyMsgWrapper(Message& message, const Parser& parser);

    uint32_t GetId() const override { return m_id; }
    std::vector<Stats_1_bll::commandResultFaster_s>& GetResults() { return m_results; }

  private:
    uint32_t m_id = 0;
    std::vector<Stats_1_bll::commandResultFaster_s> m_results;
};

// Writes rows of one SQL command into result objects. The first column is the result key (the
// value the key getter gives for the result object); the following columns are the record's
// properties that come from the IL, in record order.
class CIlResultGenericProcessor {
  public:
    CIlResultGenericProcessor(CSubscriptionRecord& record, size_t commandIndex,
                              ResultKeyGetter keyGetter, PostIlUpdateProcessHook postHook);

    // Writes every row; rows whose key names no result object of the record are skipped.
    // Raises COrxRunTimeError when the columns do not fit the record's properties.
    void Process(const Stats_1_bll::commandResultFaster_s& result);
    // The keys of the rows the last Process skipped.
    const std::vector<uint32_t>& GetSkippedKeys() const { return m_skippedKeys; }

  private:
    void Index();

    CSubscriptionRecord& m_record;
    size_t m_commandIndex;
    ResultKeyGetter m_keyGetter;
    PostIlUpdateProcessHook m_postHook;
    std::vector<const orx::framework::CMetaProperty*> m_columns;  // after the key
    std::unordered_map<uint32_t, Handle> m_byKey;
    bool m_indexed = false;
    std::vector<uint32_t> m_skippedKeys;
};

}  // namespace orx::core
