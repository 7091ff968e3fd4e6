#include <orx/il/IlServer.h>

#include <chrono>
#include <map>
#include <stdexcept>

#include <orx/framework/Logger.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include "Responders.h"
#include "ResultStore.h"
#include "Subscriptions.h"
#include "responder_1.h"

namespace orx::il {

using namespace responder_1_bll;
using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;
using orx::framework::LOG_DEBUG;
using orx::framework::LOG_ERROR;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.server");
    return logger;
}

}  // namespace

struct IlServer::Impl {
    Clock clock;
    Responders responders;
    ResultStore store;
    Subscriptions subscriptions;
    int64_t lastStamp = 0;

    const IlServer& server;

    Impl(const std::vector<uint16_t>& ports, Clock c, const IlServer& s)
        : clock(std::move(c)), responders(ports), subscriptions(responders, store), server(s) {
        subscriptions.SetLinkSource([&s] { return s.Links(); });
    }

    using Handler = void (Impl::*)(const Message& request, Message& response);
    static const std::map<std::string, Handler, std::less<>>& Handlers();

    uint16_t Port(const Message& request) const {
        uint32_t d = request.get_destination();
        if (d > UINT16_MAX || !responders.Serves(static_cast<uint16_t>(d))) {
            throw Refused(
                request.get_request_name() + ": port " +
                (d == Message::kNoDestination ? std::string("(none)") : std::to_string(d)) +
                " is not served by this IL");
        }
        return static_cast<uint16_t>(d);
    }
    // SQL requests concern the IL's one database; a destination, when given, must be ours.
    uint32_t SqlPort(const Message& request) const {
        if (request.get_destination() == Message::kNoDestination)
            return Message::kNoDestination;
        return Port(request);
    }

    void ConfigResponder(const Message& req, Message& resp) {
        uint16_t port = Port(req);
        std::vector<respConfig_s> configs;
        parse_req_ConfigResponder(&req, &configs);
        create_resp_ConfigResponder(&resp, responders.Configure(port, configs), true);
    }
    void RemoveResponder(const Message& req, Message& resp) {
        uint16_t port = Port(req);
        std::vector<uint32_t> handles;
        parse_req_RemoveResponder(&req, &handles);
        for (uint32_t h : responders.Remove(port, handles))
            store.Remove(h);
        create_resp_RemoveResponder(&resp);
    }
    void Start(const Message& req, Message& resp) {
        uint16_t port = Port(req);
        std::vector<uint32_t> handles;
        parse_req_Start(&req, &handles);
        responders.SetRunning(port, handles, true);
        create_resp_Start(&resp);
    }
    void Stop(const Message& req, Message& resp) {
        uint16_t port = Port(req);
        std::vector<uint32_t> handles;
        parse_req_Stop(&req, &handles);
        responders.SetRunning(port, handles, false);
        create_resp_Stop(&resp);
    }
    void ClearResult(const Message& req, Message& resp) {
        uint16_t port = Port(req);
        std::vector<uint32_t> handles;
        parse_req_ClearResult(&req, &handles);
        responders.Clear(port, handles);
        create_resp_ClearResult(&resp);
    }

    void DoSQL(const Message& req, Message& resp) {
        SqlPort(req);
        std::vector<std::string> commands;
        Stats_1_bll::parse_req_DoSQL(&req, &commands);
        Stats_1_bll::create_resp_DoSQL(&resp, subscriptions.RunFull(commands, Stamp(), 0), true);
    }
    void DoSQLFaster(const Message& req, Message& resp) {
        SqlPort(req);
        std::vector<std::string> commands;
        Stats_1_bll::parse_req_DoSQLFaster(&req, &commands);
        Stats_1_bll::create_resp_DoSQLFaster(&resp, subscriptions.RunCompact(commands, Stamp(), 0),
                                             true);
    }
    // The IL keeps one database: every dbName addresses it.
    void DoSQLDatabase(const Message& req, Message& resp) {
        SqlPort(req);
        std::string db;
        std::vector<std::string> commands;
        Stats_1_bll::parse_req_DoSQLDatabase(&req, &db, &commands);
        Stats_1_bll::create_resp_DoSQLDatabase(&resp, subscriptions.RunFull(commands, Stamp(), 0),
                                               true);
    }
    void DoSQLDatabaseFaster(const Message& req, Message& resp) {
        SqlPort(req);
        std::string db;
        std::vector<std::string> commands;
        Stats_1_bll::parse_req_DoSQLDatabaseFaster(&req, &db, &commands);
        Stats_1_bll::create_resp_DoSQLDatabaseFaster(
            &resp, subscriptions.RunCompact(commands, Stamp(), 0), true);
    }

    template <bool Faster>
    void RequestNotification(const Message& req, Message& resp) {
        uint32_t port = SqlPort(req);
        uint32_t id = 0, interval = 0;
        std::vector<std::string> commands;
        if (Faster) {
            Stats_1_bll::parse_req_RequestDoSQLNotificationFaster(&req, &id, &interval, &commands);
        } else {
            Stats_1_bll::parse_req_RequestDoSQLNotification(&req, &id, &interval, &commands);
        }
        subscriptions.AddSql(port, id, Faster, interval, std::move(commands), clock());
        Stats_1_bll::create_resp_RequestDoSQLNotification(&resp);
    }
    template <bool Faster>
    void DeleteNotification(const Message& req, Message& resp) {
        uint32_t port = SqlPort(req);
        uint32_t id = 0;
        if (Faster) {
            Stats_1_bll::parse_req_DeleteDoSQLNotificationFaster(&req, &id);
        } else {
            Stats_1_bll::parse_req_DeleteDoSQLNotification(&req, &id);
        }
        subscriptions.DeleteSql(port, id, Faster);
        Stats_1_bll::create_resp_DeleteDoSQLNotification(&resp);
    }
    template <bool Faster>
    void EnableNotification(const Message& req, Message& resp) {
        uint32_t port = SqlPort(req);
        uint32_t id = 0;
        bool enable = false;
        if (Faster) {
            Stats_1_bll::parse_req_EnableDoSQLNotificationFaster(&req, &id, &enable);
        } else {
            Stats_1_bll::parse_req_EnableDoSQLNotification(&req, &id, &enable);
        }
        subscriptions.EnableSql(port, id, Faster, enable, clock());
        Stats_1_bll::create_resp_EnableDoSQLNotification(&resp);
    }
    void RequestTableEvent(const Message& req, Message& resp) {
        uint32_t port = SqlPort(req);
        uint32_t id = 0, interval = 0;
        Stats_1_bll::tableEventProperties_s props;
        Stats_1_bll::parse_req_RequestTableEventNotification(&req, &id, &interval, &props);
        subscriptions.AddTable(port, id, interval, props, clock());
        Stats_1_bll::create_resp_RequestTableEventNotification(&resp);
    }
    void DeleteTableEvent(const Message& req, Message& resp) {
        uint32_t port = SqlPort(req);
        uint32_t id = 0;
        Stats_1_bll::parse_req_DeleteTableEventNotification(&req, &id);
        subscriptions.DeleteTable(port, id);
        Stats_1_bll::create_resp_DeleteTableEventNotification(&resp);
    }
    void EnableTableEvent(const Message& req, Message& resp) {
        uint32_t port = SqlPort(req);
        uint32_t id = 0;
        bool enable = false;
        Stats_1_bll::parse_req_EnableTableEventNotification(&req, &id, &enable);
        subscriptions.EnableTable(port, id, enable, clock());
        Stats_1_bll::create_resp_EnableTableEventNotification(&resp);
    }
    void ShowResponders(const Message& req, Message& resp) {
        uint32_t d = req.get_destination();
        if (d != Message::kNoDestination)
            Port(req);
        const bool all = d == Message::kNoDestination;
        diag::CreateShowResponse(&resp, responders.Describe(all, static_cast<uint16_t>(d)),
                                 responders.DescribeDispatch(all, static_cast<uint16_t>(d)));
    }

    void ShowLinks(const Message&, Message& resp) {
        diag::CreateLinksResponse(&resp, server.Links());
    }

    // Interface setup belongs to emulated devices, which this test port does not model.
    void Unsupported(const Message& req, Message&) {
        throw Refused(req.get_request_name() +
                      " is not supported by the software test port (no interface emulation)");
    }

    // Strictly increasing, so that "StatsLastModified > previous notification time" separates
    // every sync from the one before it.
    int64_t Stamp() {
        lastStamp = std::max(lastStamp + 1, clock());
        return lastStamp;
    }

    Message Answer(const Message& request);
};

const std::map<std::string, IlServer::Impl::Handler, std::less<>>& IlServer::Impl::Handlers() {
    static const std::map<std::string, Handler, std::less<>> handlers = {
        {request::ConfigResponder, &Impl::ConfigResponder},
        {request::RemoveResponder, &Impl::RemoveResponder},
        {request::Start, &Impl::Start},
        {request::Stop, &Impl::Stop},
        {request::ClearResult, &Impl::ClearResult},
        {request::DoSQL, &Impl::DoSQL},
        {request::DoSQLFaster, &Impl::DoSQLFaster},
        {request::DoSQLDatabase, &Impl::DoSQLDatabase},
        {request::DoSQLDatabaseFaster, &Impl::DoSQLDatabaseFaster},
        {request::RequestDoSQLNotification, &Impl::RequestNotification<false>},
        {request::RequestDoSQLNotificationFaster, &Impl::RequestNotification<true>},
        {request::DeleteDoSQLNotification, &Impl::DeleteNotification<false>},
        {request::DeleteDoSQLNotificationFaster, &Impl::DeleteNotification<true>},
        {request::EnableDoSQLNotification, &Impl::EnableNotification<false>},
        {request::EnableDoSQLNotificationFaster, &Impl::EnableNotification<true>},
        {request::RequestTableEventNotification, &Impl::RequestTableEvent},
        {request::DeleteTableEventNotification, &Impl::DeleteTableEvent},
        {request::EnableTableEventNotification, &Impl::EnableTableEvent},
        {request::SetInterfaceLibParams, &Impl::Unsupported},
        {request::GetInterfaceLibParams, &Impl::Unsupported},
        {request::ConfigInterfaces, &Impl::Unsupported},
        {request::ConfigInterfacesWithIlHandle, &Impl::Unsupported},
        {request::DeleteInterfaces, &Impl::Unsupported},
        {request::GetInterfaces, &Impl::Unsupported},
        {request::GetStackedInterfaces, &Impl::Unsupported},
        {request::UpdateInterfaces, &Impl::Unsupported},
        {request::AttachInterfaces, &Impl::Unsupported},
        {request::DetachInterfaces, &Impl::Unsupported},
        {request::SetGroupMembership, &Impl::Unsupported},
        {diag::kShowResponders, &Impl::ShowResponders},
        {diag::kShowLinks, &Impl::ShowLinks},
    };
    return handlers;
}

Message FailedResponse(const Message* request, FaultCode code, const std::string& text) {
    Message m;
    m.set_use_send_member_string(true);
    m.set_msg_type(TMT_FAILED_RESPONSE);
    if (request) {
        m.set_request_name(request->get_request_name());
        m.set_seq_num(request->get_seq_num());
        m.set_destination(request->get_destination());
    }
    m.add_member(TMG_MEMBERS, "faultCode", int32_t{code});
    m.add_member(TMG_MEMBERS, "faultString", text);
    m.create_send_member_string_meta();
    return m;
}

namespace {

Message Failed(const Message* request, FaultCode code, const std::string& text) {
    if (Log()->IsEnabledFor(LOG_ERROR)) {
        Log()->Error("Fault " + std::to_string(code) + ": " + text, __FILE__, __LINE__);
    }
    return FailedResponse(request, code, text);
}

}  // namespace

Message IlServer::Impl::Answer(const Message& request) {
    const std::string& name = request.get_request_name();
    if (request.get_msg_type() != TMT_REQUEST) {
        return Failed(&request, FAULT_BAD_MESSAGE,
                      "message \"" + name + "\" of type " + std::to_string(request.get_msg_type()) +
                          " is not a request");
    }
    const auto& handlers = Handlers();
    auto found = handlers.find(name);
    if (found == handlers.end()) {
        return Failed(&request, FAULT_UNKNOWN_REQUEST, "unknown request \"" + name + "\"");
    }
    Handler handler = found->second;
    try {
        Message response;
        (this->*handler)(request, response);
        response.set_request_name(name);
        response.set_seq_num(request.get_seq_num());
        response.set_destination(request.get_destination());
        if (Log()->IsEnabledFor(LOG_DEBUG)) {
            Log()->Debug("Answered " + name + " #" + std::to_string(request.get_seq_num()),
                         __FILE__, __LINE__);
        }
        return response;
    } catch (const Refused& e) {
        return Failed(&request, FAULT_REFUSED, e.what());
    } catch (const SqlError& e) {
        return Failed(&request, FAULT_SQL, name + ": " + e.what());
    } catch (const Tm_exception& e) {
        return Failed(&request, FAULT_BAD_MESSAGE, name + ": " + e.what());
    } catch (const std::exception& e) {
        return Failed(&request, FAULT_INTERNAL, name + ": " + e.what());
    }
}

IlServer::IlServer(std::vector<uint16_t> ports, Clock clock) : m_ports(std::move(ports)) {
    if (!clock) {
        clock = [] {
            return std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                .count();
        };
    }
    m_impl = std::make_unique<Impl>(m_ports, std::move(clock), *this);
}

IlServer::~IlServer() = default;

PortEngine* IlServer::Engine(uint16_t port) {
    return m_impl->responders.Engine(port);
}

Message IlServer::Handle(const Message& request) {
    try {
        return m_impl->Answer(request);
    } catch (const std::exception& e) {
        // Only building the fault itself can get here (out of memory): report what we can.
        return Failed(&request, FAULT_INTERNAL, e.what());
    }
}

std::vector<uint8_t> IlServer::HandleEncoded(const uint8_t* data, size_t size) {
    Message response;
    try {
        Message request = msglib::decode(data, size);
        response = Handle(request);
    } catch (const std::exception& e) {
        response =
            Failed(nullptr, FAULT_BAD_MESSAGE, std::string("undecodable request: ") + e.what());
    }
    return msglib::encode(response);
}

void IlServer::SetNotificationSink(NotificationSink sink) {
    m_impl->subscriptions.SetSink(std::move(sink));
}

int64_t IlServer::PollNotifications() {
    Impl& impl = *m_impl;
    return impl.subscriptions.Poll(impl.clock(), [&impl] { return impl.Stamp(); });
}

int64_t IlServer::Now() const {
    return m_impl->clock();
}

std::vector<CounterSnapshot> IlServer::Counters() const {
    return m_impl->responders.Snapshot();
}

std::vector<ResponderView> IlServer::Describe(uint32_t port) const {
    return m_impl->responders.Describe(port == kAllPorts, static_cast<uint16_t>(port));
}

std::vector<PortDispatchView> IlServer::DescribeDispatch(uint32_t port) const {
    return m_impl->responders.DescribeDispatch(port == kAllPorts, static_cast<uint16_t>(port));
}

void IlServer::SetLinkSource(LinkSource source) {
    std::lock_guard lock(m_linkMutex);
    m_links = std::move(source);
}

std::vector<LinkView> IlServer::Links() const {
    std::lock_guard lock(m_linkMutex);
    return m_links ? m_links() : std::vector<LinkView>{};
}

}  // namespace orx::il
