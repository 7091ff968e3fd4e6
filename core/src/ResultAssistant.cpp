#include <orx/core/ResultAssistant.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unordered_set>

#include <orx/core/HostClasses.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Result.h>

namespace orx::core {

using namespace orx::framework;

bool IsIlResultProperty(const CMetaProperty& property) {
    const PropertyAttribute* bll = property.FindAttribute(AttributeResultPropertyMarkAsBllProperty);
    return !(bll && bll->flag);
}

std::string IlColumnName(const CMetaProperty& property) {
    if (const PropertyAttribute* a =
            property.FindAttribute(AttributeResultPropertyIlCounterpartName)) {
        return a->text;
    }
    return property.GetName();
}

std::vector<const CMetaProperty*> ResultClassProperties(const CMetaClass& resultClass) {
    std::vector<const CMetaProperty*> out;
    for (const CMetaProperty* p : resultClass.GetProperties()) {
        const CMetaClass* owner = CMetaClassManager::Instance().GetClass(p->GetClassId());
        if (owner && owner->IsTypeOf(orx::framework::CResult::CLASS_ID()))
            out.push_back(p);
    }
    return out;
}

std::string CIlSqlQuery::Describe() const {
    std::string text;
    for (const std::string& c : m_commands) {
        if (!text.empty())
            text += '\n';
        text += c;
    }
    return text;
}

SubscriptionItemCounter* CIlResultQueryInterface::MakeSubscriptionItemCounter(
    const CSubscriptionRecord& record) {
    auto* counter = new SubscriptionItemCounter();
    for (const auto& [port, info] : record.GetPortResultsMap()) {
        auto n = static_cast<uint32_t>(info.GetParentMap().size());
        counter->perPort[port] = n;
        counter->total += n;
    }
    return counter;
}

void CIlResultQueryInterface::ReleaseSubscriptionItemCounter(SubscriptionItemCounter* counter) {
    delete counter;
}

namespace {

void CollectBeneath(CScriptable& object, ClassId parentClass, std::unordered_set<Handle>& seen,
                    ScriptableVec& out) {
    if (object.IsDeleted())
        return;
    if (object.IsTypeOf(parentClass)) {
        if (seen.insert(object.GetObjectHandle()).second)
            out.push_back(&object);
        // Results belong to the nearest parent of the class; nothing beneath it is another.
        return;
    }
    ScriptableVec children;
    object.GetObjects(children, ANY_CLASS_ID, RelationType(PARENT_CHILD));
    for (CScriptable* child : children)
        CollectBeneath(*child, parentClass, seen, out);
    // A port's emulated devices sit under the project and are related to the port.
    if (object.IsTypeOf(CPort::CLASS_ID())) {
        ScriptableVec devices;
        object.GetObjects(devices, ANY_CLASS_ID, RelationType(DEVICE_TO_PORT, DIR_BACKWARD));
        for (CScriptable* device : devices)
            CollectBeneath(*device, parentClass, seen, out);
    }
}

}  // namespace

void CResultLocatorForAssistant::GetResultParents(const ResultSubscription& subscription,
                                                  ScriptableVec& parents) {
    std::unordered_set<Handle> seen;
    for (CScriptable* p : parents)
        seen.insert(p->GetObjectHandle());
    for (Handle root : subscription.GetRootHandles()) {
        if (CScriptable* object = CHandleRegistry::Instance().Find(root))
            CollectBeneath(*object, subscription.GetResultType().parentClassId, seen, parents);
    }
    std::sort(parents.begin(), parents.end(), [](const CScriptable* a, const CScriptable* b) {
        return a->GetObjectHandle() < b->GetObjectHandle();
    });
}

CIlSqlResultNtfyMsgWrapper::CIlSqlResultNtfyMsgWrapper(Message& message, const Parser& parser) {
    if (parser.empty())
        throw COrxLogicError("CIlSqlResultNtfyMsgWrapper: no parser given");
    parser(&message, &m_id, &m_results);
}

CIlResultGenericProcessor::CIlResultGenericProcessor(CSubscriptionRecord& record,
                                                     size_t commandIndex, ResultKeyGetter keyGetter,
                                                     PostIlUpdateProcessHook postHook)
    : m_record(record), m_commandIndex(commandIndex), m_keyGetter(keyGetter), m_postHook(postHook) {
    for (const CMetaProperty* p : record.GetProperties()) {
        if (IsIlResultProperty(*p))
            m_columns.push_back(p);
    }
}

void CIlResultGenericProcessor::Index() {
    m_byKey.clear();
    for (const auto& [port, info] : m_record.GetPortResultsMap()) {
        (void)port;
        for (const auto& [parent, data] : info.GetParentMap()) {
            (void)parent;
            CScriptable* result = CHandleRegistry::Instance().Find(data.result);
            if (!result)
                continue;
            uint32_t key = m_keyGetter.empty() ? result->GetObjectHandle() : m_keyGetter(*result);
            m_byKey[key] = data.result;
        }
    }
    m_indexed = true;
}

namespace {

// The value of a column of a compact row as a property value.
bool ReadColumn(const Stats_1_bll::rowFaster_s& row, const Stats_1_bll::columnDesc_s& column,
                const CMetaProperty& property, PropertyScalar& out) {
    using Stats_1_bll::columnVal_t;
    const uint32_t i = column.valIndex;
    switch (column.valType) {
        case columnVal_t::STRING:
        case columnVal_t::DOUBLE: {
            if (i >= row.stringValues.size())
                return false;
            const std::string& text = row.stringValues[i];
            if (property.GetType() == PropertyType::String) {
                out = text;
                return true;
            }
            std::string why;
            return property.ParseScalar(text, out, &why);
        }
        case columnVal_t::BINARY:
            return false;
        case columnVal_t::NULL_VALUE:
            return false;
        default:
            if (i >= row.int64Values.size())
                return false;
            if (property.GetType() == PropertyType::String)
                out = std::to_string(row.int64Values[i]);
            else if (property.GetType() == PropertyType::Double)
                out = static_cast<double>(row.int64Values[i]);
            else
                out = row.int64Values[i];
            return true;
    }
}

std::string ColumnText(size_t n) {
    return "column " + std::to_string(n + 1);
}

}  // namespace

void CIlResultGenericProcessor::Process(const Stats_1_bll::commandResultFaster_s& result) {
    if (!m_indexed)
        Index();
    m_skippedKeys.clear();
    const auto& order = result.columnOrder;
    if (order.empty())
        return;
    if (order.size() != m_columns.size() + 1) {
        throw COrxRunTimeError("Result rows of command " + std::to_string(m_commandIndex + 1) +
                               " have " + std::to_string(order.size()) +
                               " columns; the subscription reads a key and " +
                               std::to_string(m_columns.size()) + " properties");
    }
    const auto& key = order.front();
    if (key.valType == Stats_1_bll::columnVal_t::STRING ||
        key.valType == Stats_1_bll::columnVal_t::DOUBLE ||
        key.valType == Stats_1_bll::columnVal_t::BINARY ||
        key.valType == Stats_1_bll::columnVal_t::NULL_VALUE) {
        throw COrxRunTimeError("Result rows of command " + std::to_string(m_commandIndex + 1) +
                               ": the key column is not an integer");
    }
    // Slots of the properties in the result class, found on the first object written.
    std::vector<int> slots;
    const CMetaClass* slotsOf = nullptr;
    for (const auto& row : result.rows) {
        if (key.valIndex >= row.int64Values.size()) {
            throw COrxRunTimeError("Result row without its key value (" + ColumnText(0) + ")");
        }
        const auto k = static_cast<uint32_t>(row.int64Values[key.valIndex]);
        auto it = m_byKey.find(k);
        CScriptable* object =
            it == m_byKey.end() ? nullptr : CHandleRegistry::Instance().Find(it->second);
        if (!object || object->IsDeleted()) {
            m_skippedKeys.push_back(k);
            continue;
        }
        if (slotsOf != &object->GetMetaClass()) {
            slotsOf = &object->GetMetaClass();
            slots.clear();
            for (const CMetaProperty* p : m_columns)
                slots.push_back(slotsOf->IndexOf(p->GetId()));
        }
        for (size_t c = 0; c < m_columns.size(); ++c) {
            PropertyScalar value;
            if (slots[c] < 0 || !ReadColumn(row, order[c + 1], *m_columns[c], value))
                continue;
            object->SetScalarAt(slots[c], std::move(value));
        }
        if (!m_postHook.empty())
            m_postHook(*object);
    }
}

}  // namespace orx::core
