#include <orx/core/ResultViews.h>

#include <pugixml.hpp>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>

#include <orx/core/HostClasses.h>
#include <orx/core/Results.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Rpc.h>
#include <orx/msglib/Message.h>
#include "Stats_1.h"

namespace orx::core {

using namespace orx::framework;

namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw COrxRunTimeError(text);
}

// Table and column names go into SQL text as they are: only plain identifiers are accepted.
bool IsIdentifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    for (char c : s) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    }
    return true;
}

// Views sum counters, so every column holds an unsigned integer.
bool IsKnownType(const std::string& type) {
    return type == "u8" || type == "u16" || type == "u32" || type == "u64";
}

class DescriptionReader {
  public:
    explicit DescriptionReader(const std::string& path) : m_path(path) {}

    [[noreturn]] void Fail(const std::string& why) const {
        orx::core::Fail("Result provider description " + m_path + ": " + why);
    }
    [[noreturn]] void Fail(const pugi::xml_node& node, const std::string& why) const {
        orx::core::Fail("Result provider description " + m_path + " at offset " +
                        std::to_string(node.offset_debug()) + ": " + why);
    }

    std::string Required(const pugi::xml_node& node, const char* name) const {
        pugi::xml_attribute a = node.attribute(name);
        if (!a)
            Fail(node, std::string("<") + node.name() + "> has no \"" + name + "\" attribute");
        std::string value = a.as_string();
        if (value.empty())
            Fail(node,
                 std::string("<") + node.name() + "> has an empty \"" + name + "\" attribute");
        return value;
    }

    ProviderDescription Read() const {
        pugi::xml_document doc;
        pugi::xml_parse_result parsed = doc.load_file(m_path.c_str());
        if (parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error)
            Fail("cannot be read");
        if (!parsed) {
            Fail("XML error at offset " + std::to_string(parsed.offset) + ": " +
                 parsed.description());
        }
        pugi::xml_node root = doc.document_element();
        if (std::string(root.name()) != "resultProvider") {
            Fail(root, std::string("root element is <") + root.name() + ">, not <resultProvider>");
        }
        ProviderDescription d;
        d.name = Required(root, "name");
        d.msgSet = Required(root, "msgSet");
        d.ilTable = Required(root, "ilTable");
        d.sourceClass = Required(root, "source");
        if (!IsIdentifier(d.ilTable))
            Fail(root, "IL table \"" + d.ilTable + "\" is not a plain name");

        bool haveKey = false;
        std::set<std::string> names;
        for (pugi::xml_node child : root.children()) {
            if (child.type() != pugi::node_element)
                Fail(child, "unexpected text in <resultProvider>");
            if (std::string(child.name()) != "column")
                Fail(child, std::string("unknown element <") + child.name() + ">");
            ProviderDescription::Column c;
            c.name = Required(child, "name");
            c.ilColumn = Required(child, "ilColumn");
            c.type = Required(child, "type");
            if (!names.insert(c.name).second)
                Fail(child, "column " + c.name + " appears twice");
            if (!IsIdentifier(c.ilColumn))
                Fail(child,
                     "column " + c.name + ": IL column \"" + c.ilColumn + "\" is not a plain name");
            if (!IsKnownType(c.type))
                Fail(child, "column " + c.name + ": unknown type \"" + c.type +
                                "\" (u8, u16, u32 or u64)");
            std::string key = child.attribute("key").as_string("false");
            if (key != "true" && key != "false")
                Fail(child, "column " + c.name + ": key is \"" + key + "\", not true or false");
            if (key == "true") {
                if (haveKey) {
                    Fail(child, "two key columns, " + d.key.name + " and " + c.name);
                }
                haveKey = true;
                d.key = std::move(c);
            } else {
                d.columns.push_back(std::move(c));
            }
        }
        if (!haveKey)
            Fail(root, "no key column (a <column> with key=\"true\")");
        if (d.columns.empty())
            Fail(root, "no column besides the key " + d.key.name);
        return d;
    }

  private:
    std::string m_path;
};

// The description file on the data-model search path; absolute names are taken as they are.
std::string FindDescriptionFile(const std::string& provider, const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::path(file).is_absolute())
        return file;
    std::string searched;
    for (const std::string& dir : CMetaClassManager::Instance().GetDataModelPaths()) {
        fs::path candidate = fs::path(dir) / file;
        if (fs::is_regular_file(candidate, ec))
            return candidate.string();
        searched += (searched.empty() ? "" : ", ") + dir;
    }
    Fail("Result provider " + provider + ": description file " + file +
         " not found (searched: " + (searched.empty() ? "no directories" : searched) + ")");
}

// The port a source sits under, or null.
CPort* PortOf(CScriptable* source) {
    for (CScriptable* o = source; o; o = o->GetParent()) {
        if (auto* port = dynamic_cast<CPort*>(o))
            return port;
    }
    return nullptr;
}

// The object the path leads to from `source`, or null when a step finds nothing of its class.
CScriptable* Walk(CScriptable* source, const std::vector<RsaPathStep>& path) {
    const RelationType up(PARENT_CHILD, DIR_BACKWARD);
    CScriptable* at = source;
    for (const RsaPathStep& step : path) {
        at = step.first == up ? at->GetParent() : at->GetObject(step.second, step.first);
        if (!at || at->IsDeleted() || !at->IsTypeOf(step.second))
            return nullptr;
    }
    return at;
}

bool IsLiveSource(const CScriptable& o, ClassId sourceClass) {
    if (!o.IsTypeOf(sourceClass) || o.IsDeleted())
        return false;
    return !o.HasProperty(PROP_ACTIVE) || o.GetActive();
}

std::string PortName(const CPort& port) {
    std::string name = port.GetName();
    return name.empty() ? "handle " + std::to_string(port.GetObjectHandle()) : name;
}

// One port's sources: handle -> row of its root.
struct PortSources {
    CPort* port = nullptr;
    std::map<Handle, ProviderViewRow*> roots;
};

class PortReader {
  public:
    PortReader(const std::string& provider, const CPort& port) : m_provider(provider) {
        m_port = PortName(port);
    }

    [[noreturn]] void Fail(const std::string& why) const {
        orx::core::Fail("Result provider " + m_provider + ": cannot read the results of port " +
                        m_port + ": " + why);
    }

    // A value of the row; the IL gives integer columns as INT64 and an empty column as NULL.
    uint64_t Value(const Stats_1_bll::rowFaster_s& row, const Stats_1_bll::columnDesc_s& desc,
                   const std::string& column) const {
        using Stats_1_bll::columnVal_t;
        if (desc.valType == columnVal_t::NULL_VALUE)
            return 0;
        if (desc.valType != columnVal_t::INT64)
            Fail("column " + column + " is not an integer column");
        if (desc.valIndex >= row.int64Values.size())
            Fail("a row has no value for column " + column);
        int64_t v = row.int64Values[desc.valIndex];
        if (v < 0)
            Fail("column " + column + " holds a negative value (" + std::to_string(v) + ")");
        return static_cast<uint64_t>(v);
    }

  private:
    std::string m_provider;
    std::string m_port;
};

void ReadPort(const std::string& provider, const ProviderDescription& d,
              CResultProviderHandler& handler, PortSources& sources) {
    PortReader reader(provider, *sources.port);
    std::vector<uint32_t> handles;
    for (const auto& [handle, row] : sources.roots)
        handles.push_back(handle);
    std::vector<std::string> columns;
    for (const auto& c : d.columns)
        columns.push_back(c.ilColumn);

    Message request;
    Message response;
    Stats_1_bll::create_req_DoSQLFaster(
        &request, {handler.GetIlSqlQuery(d.ilTable, d.key.ilColumn, columns, handles)}, true);
    request.set_request_name(handler.GetMsgSetName() + ".DoSQLFaster");
    Messenger* messenger = sources.port->GetMessenger();
    if (!messenger)
        reader.Fail("the port has no IL");
    std::vector<ErrorMsg> errors;
    if (!CRpcManager::Instance().SendAndWait(messenger, request, response, errors))
        reader.Fail(errors.empty() ? "no answer" : errors.front().faultString);
    if (response.get_msg_type() == TMT_FAILED_RESPONSE) {
        std::string text = "failed response";
        try {
            if (response.has_member(TMG_MEMBERS, "faultString"))
                text = response.get_member_string(TMG_MEMBERS, "faultString");
        } catch (const Tm_exception&) {
            // A malformed fault still fails the read, with the default text.
        }
        reader.Fail(text);
    }
    std::vector<Stats_1_bll::commandResultFaster_s> results;
    try {
        Stats_1_bll::parse_resp_DoSQLFaster(&response, &results);
    } catch (const Tm_exception& e) {
        reader.Fail(std::string("the answer cannot be read: ") + e.what());
    }
    if (results.size() != 1)
        reader.Fail("the answer holds " + std::to_string(results.size()) + " results, not 1");
    const Stats_1_bll::commandResultFaster_s& result = results.front();
    if (result.columnOrder.size() != d.columns.size() + 1) {
        reader.Fail("the answer has " + std::to_string(result.columnOrder.size()) +
                    " columns, not " + std::to_string(d.columns.size() + 1));
    }
    for (const Stats_1_bll::rowFaster_s& row : result.rows) {
        uint64_t key = reader.Value(row, result.columnOrder[0], d.key.name);
        auto it =
            key <= UINT32_MAX ? sources.roots.find(static_cast<Handle>(key)) : sources.roots.end();
        if (it == sources.roots.end())
            continue;  // not one of the sources asked for
        for (size_t i = 0; i < d.columns.size(); ++i)
            it->second->sums[i] += reader.Value(row, result.columnOrder[i + 1], d.columns[i].name);
    }
}

}  // namespace

ProviderDescription LoadProviderDescription(const std::string& path) {
    return DescriptionReader(path).Read();
}

ProviderView CResultViews::Build(const std::string& provider, const std::string& rootClass) {
    CResultProviderRegistry& registry = CResultProviderRegistry::Instance();
    registry.RunRegistrations();
    const auto& providers = registry.GetProviders();
    auto found = providers.find(provider);
    if (found == providers.end() || !found->second.handler) {
        std::string names;
        for (const auto& [name, p] : providers)
            names += (names.empty() ? "" : ", ") + name;
        Fail("No result provider " + provider +
             " (registered: " + (names.empty() ? "none" : names) + ")");
    }
    CResultProviderHandler& handler = *found->second.handler;
    const std::string file = FindDescriptionFile(provider, found->second.descriptionFile);
    const ProviderDescription d = LoadProviderDescription(file);
    // A file naming another provider or message set belongs to something else.
    if (d.name != provider)
        Fail("Result provider description " + file + " describes " + d.name + ", not " + provider);
    if (d.msgSet != handler.GetMsgSetName()) {
        Fail("Result provider description " + file + " names message set " + d.msgSet +
             ", but provider " + provider + " uses " + handler.GetMsgSetName());
    }

    CMetaClassManager& classes = CMetaClassManager::Instance();
    const CMetaClass* root = classes.GetClass(rootClass);
    if (!root)
        Fail("Result provider " + provider + ": no class named " + rootClass);
    const CMetaClass* source = classes.GetClass(d.sourceClass);
    if (!source) {
        Fail("Result provider description " + file + ": source class " + d.sourceClass +
             " is not in the data model");
    }
    const CResultProviderRegistry::SourceHandler* sourceHandler =
        registry.FindSourceHandler(d.sourceClass);
    if (!sourceHandler || sourceHandler->retriever.empty())
        Fail("Result provider " + provider + ": no result source handler for " + d.sourceClass);
    std::vector<RsaPathStep> path;
    if (!sourceHandler->retriever(root->GetClassId(), path))
        Fail("Result provider " + provider + " cannot roll up under class " + rootClass);

    ProviderView view;
    view.provider = provider;
    view.rootClass = rootClass;
    for (const auto& c : d.columns)
        view.columns.push_back(c.name);

    struct Found {
        CScriptable* source;
        CScriptable* root;
        CPort* port;
    };
    std::vector<Found> sources;
    std::vector<CPort*> candidates;
    std::set<CPort*> seen;
    for (CScriptable* o : CHandleRegistry::Instance().GetAll()) {
        if (!IsLiveSource(*o, source->GetClassId()))
            continue;
        CScriptable* top = Walk(o, path);
        CPort* port = PortOf(o);
        if (!top || !top->IsTypeOf(root->GetClassId()) || !port || port->IsDeleted())
            continue;
        sources.push_back(Found{o, top, port});
        if (seen.insert(port).second)
            candidates.push_back(port);
    }
    std::vector<CPort*> applicable;
    handler.GetResultPorts(candidates, applicable);
    const std::set<CPort*> usable(applicable.begin(), applicable.end());

    std::map<Handle, ProviderViewRow> rows;
    std::map<Handle, PortSources> ports;
    for (const Found& f : sources) {
        if (!usable.count(f.port))
            continue;
        ProviderViewRow& row = rows[f.root->GetObjectHandle()];
        if (row.root == NULL_HANDLE) {
            row.root = f.root->GetObjectHandle();
            row.name = f.root->GetName();
            row.sums.assign(d.columns.size(), 0);
        }
        ++row.sources;  // counted even when the IL has no row for it yet
        PortSources& p = ports[f.port->GetObjectHandle()];
        p.port = f.port;
        p.roots[f.source->GetObjectHandle()] = &row;
    }
    for (auto& [handle, p] : ports)
        ReadPort(provider, d, handler, p);
    for (auto& [handle, row] : rows)
        view.rows.push_back(std::move(row));
    return view;
}

}  // namespace orx::core
