#include <orx/il/Diag.h>

#include <memory>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmException.h>
#include <orx/msglib/TmStruct.h>

namespace orx::il::diag {

namespace {

void Begin(Message* m, TMT type, const char* name) {
    m->clear_all();
    m->set_use_send_member_string(true);
    m->set_msg_type(type);
    m->set_request_name(name);
}

// The structures of array member `name`, each checked to be a structure.
template <typename Fn>
void EachStruct(const Tm_value* value, const std::string& where, Fn&& fn) {
    if (value == nullptr || value->get_kind() != TMK_ARRAY)
        throw DiagError(where + " is not an array");
    const auto& array = static_cast<const Tm_array&>(*value);
    for (int i = 0; i < array.get_member_count(); ++i) {
        const Tm_value* v = array.get_member(i);
        std::string at = where + "[" + std::to_string(i) + "]";
        if (v == nullptr || v->get_kind() != TMK_STRUCT)
            throw DiagError(at + " is not a structure");
        try {
            fn(static_cast<const Tm_struct&>(*v));
        } catch (const Tm_exception& e) {
            throw DiagError(at + ": " + e.what());
        }
    }
}

// A response to `request` whose member `member` holds one structure per item, as `fill` makes
// it.
template <typename T, typename Fill>
void ArrayResponse(Message* m, const char* request, const char* member, const std::vector<T>& items,
                   Fill&& fill) {
    Begin(m, TMT_RESPONSE, request);
    Tm_catalog<std::string>* names = m->get_send_member_string(TMG_MEMBERS);
    auto list = std::make_unique<Tm_array>();
    for (const T& item : items) {
        auto s = std::make_unique<Tm_struct>(names);
        fill(*s, item);
        list->add_member_and_own(s.release());
    }
    m->add_member_and_own(TMG_MEMBERS, member, list.release());
    m->create_send_member_string_meta();
}

const Tm_value* Member(const Message& response, const char* expected, const char* member) {
    if (response.get_msg_type() == TMT_FAILED_RESPONSE) {
        throw DiagError(response.get_request_name() + " failed: " + FaultText(response));
    }
    if (response.get_msg_type() != TMT_RESPONSE || response.get_request_name() != expected) {
        throw DiagError(std::string("expected a response to ") + expected + ", got \"" +
                        response.get_request_name() + "\" of type " +
                        std::to_string(response.get_msg_type()));
    }
    int index = response.get_member_index(TMG_MEMBERS, member);
    if (index < 0)
        throw DiagError(std::string(expected) + " response has no member \"" + member + "\"");
    return response.get_member(TMG_MEMBERS, index);
}

}  // namespace

std::string FaultText(const Message& response) {
    if (response.get_msg_type() != TMT_FAILED_RESPONSE ||
        !response.has_member(TMG_MEMBERS, "faultString")) {
        return "";
    }
    try {
        return response.get_member_string(TMG_MEMBERS, "faultString");
    } catch (const Tm_exception&) {
        return "(fault text is not a string)";
    }
}

void CreateShowRequest(Message* message, uint32_t destination) {
    Begin(message, TMT_REQUEST, kShowResponders);
    message->set_destination(destination);
    message->create_send_member_string_meta();
}

void CreateShowResponse(Message* message, const std::vector<ResponderView>& responders,
                        const std::vector<PortDispatchView>& ports) {
    Begin(message, TMT_RESPONSE, kShowResponders);
    Tm_catalog<std::string>* names = message->get_send_member_string(TMG_MEMBERS);
    auto list = std::make_unique<Tm_array>();
    for (const ResponderView& r : responders) {
        auto s = std::make_unique<Tm_struct>(names);
        s->add_member("handle", r.handle);
        s->add_member("port", r.port);
        s->add_member("filter", r.filter);
        s->add_member("running", r.running);
        s->add_member("vifHandle", r.vifHandle);
        s->add_member("matched", r.matched);
        s->add_member("transmitted", r.transmitted);
        s->add_member("rate", r.rate);
        auto profiles = std::make_unique<Tm_array>();
        for (const ProfileView& p : r.profiles) {
            auto ps = std::make_unique<Tm_struct>(names);
            ps->add_member("port", p.port);
            ps->add_member("delay", p.delayUs);
            ps->add_member("payload", Tm_binary(p.payload));
            ps->add_member("modifierCount", p.modifierCount);
            profiles->add_member_and_own(ps.release());
        }
        s->add_member_and_own("profiles", profiles.release());
        list->add_member_and_own(s.release());
    }
    message->add_member_and_own(TMG_MEMBERS, "responders", list.release());
    auto portList = std::make_unique<Tm_array>();
    for (const PortDispatchView& p : ports) {
        auto s = std::make_unique<Tm_struct>(names);
        s->add_member("port", p.port);
        s->add_member("running", p.running);
        s->add_member("indexed", p.indexed);
        auto keys = std::make_unique<Tm_array>();
        for (const DispatchKeyView& k : p.keys) {
            auto ks = std::make_unique<Tm_struct>(names);
            ks->add_member("key", k.key);
            ks->add_member("responders", k.responders);
            ks->add_member("values", k.values);
            keys->add_member_and_own(ks.release());
        }
        s->add_member_and_own("keys", keys.release());
        auto always = std::make_unique<Tm_array>();
        for (uint32_t h : p.alwaysRun)
            always->add_member(h);
        s->add_member_and_own("alwaysRun", always.release());
        portList->add_member_and_own(s.release());
    }
    message->add_member_and_own(TMG_MEMBERS, "ports", portList.release());
    message->create_send_member_string_meta();
}

std::vector<ResponderView> ParseShowResponse(const Message& response) {
    std::vector<ResponderView> out;
    EachStruct(
        Member(response, kShowResponders, "responders"), "responders", [&](const Tm_struct& s) {
            ResponderView r;
            r.handle = s.get_member_uint32("handle");
            r.port = s.get_member_uint16("port");
            r.filter = s.get_member_string("filter");
            r.running = s.get_member_bool("running");
            r.vifHandle = s.get_member_uint32("vifHandle");
            r.matched = s.get_member_uint64("matched");
            r.transmitted = s.get_member_uint64("transmitted");
            r.rate = s.get_member_uint32("rate");
            std::string where = "responders[handle " + std::to_string(r.handle) + "].profiles";
            EachStruct(s.find_member("profiles"), where, [&](const Tm_struct& p) {
                ProfileView v;
                v.port = p.get_member_uint16("port");
                v.delayUs = p.get_member_uint32("delay");
                const Tm_binary* payload = p.get_member_binary("payload");
                v.payload = payload->bytes();
                v.modifierCount = p.get_member_uint32("modifierCount");
                r.profiles.push_back(std::move(v));
            });
            out.push_back(std::move(r));
        });
    return out;
}

std::vector<PortDispatchView> ParseShowDispatch(const Message& response) {
    std::vector<PortDispatchView> out;
    // Checks the response as ParseShowResponse does; an answer without "ports" has none.
    Member(response, kShowResponders, "responders");
    if (response.get_member_index(TMG_MEMBERS, "ports") < 0)
        return out;
    EachStruct(Member(response, kShowResponders, "ports"), "ports", [&](const Tm_struct& s) {
        PortDispatchView p;
        p.port = s.get_member_uint16("port");
        p.running = s.get_member_uint32("running");
        p.indexed = s.get_member_uint32("indexed");
        std::string where = "ports[port " + std::to_string(p.port) + "]";
        EachStruct(s.find_member("keys"), where + ".keys", [&](const Tm_struct& k) {
            p.keys.push_back(DispatchKeyView{k.get_member_string("key"),
                                             k.get_member_uint32("responders"),
                                             k.get_member_uint32("values")});
        });
        const Tm_value* always = s.find_member("alwaysRun");
        if (always == nullptr || always->get_kind() != TMK_ARRAY)
            throw DiagError(where + ".alwaysRun is not an array");
        const auto& array = static_cast<const Tm_array&>(*always);
        for (int i = 0; i < array.get_member_count(); ++i)
            p.alwaysRun.push_back(array.get_member_uint32(i));
        out.push_back(std::move(p));
    });
    return out;
}

void CreateLinksRequest(Message* message) {
    Begin(message, TMT_REQUEST, kShowLinks);
    message->create_send_member_string_meta();
}

void CreateLinksResponse(Message* message, const std::vector<LinkView>& links) {
    ArrayResponse(message, kShowLinks, "links", links, [](Tm_struct& s, const LinkView& l) {
        s.add_member("port", l.port);
        s.add_member("interface", l.interface);
        s.add_member("received", l.received);
        s.add_member("captureDropped", l.captureDropped);
        s.add_member("interfaceDropped", l.interfaceDropped);
        s.add_member("transmitted", l.transmitted);
        s.add_member("transmitFailed", l.transmitFailed);
        s.add_member("error", l.error);
    });
}

std::vector<LinkView> ParseLinksResponse(const Message& response) {
    std::vector<LinkView> out;
    EachStruct(Member(response, kShowLinks, "links"), "links", [&](const Tm_struct& s) {
        LinkView l;
        l.port = s.get_member_uint16("port");
        l.interface = s.get_member_string("interface");
        l.received = s.get_member_uint64("received");
        l.captureDropped = s.get_member_uint64("captureDropped");
        l.interfaceDropped = s.get_member_uint64("interfaceDropped");
        l.transmitted = s.get_member_uint64("transmitted");
        l.transmitFailed = s.get_member_uint64("transmitFailed");
        l.error = s.get_member_string("error");
        out.push_back(std::move(l));
    });
    return out;
}

void CreateReplayRequest(Message* message) {
    Begin(message, TMT_REQUEST, kReplay);
    message->create_send_member_string_meta();
}

void CreateReplayResponse(Message* message, const std::vector<ReplayPortView>& ports) {
    ArrayResponse(message, kReplay, "ports", ports, [](Tm_struct& s, const ReplayPortView& p) {
        s.add_member("port", p.port);
        s.add_member("framesRead", p.framesRead);
        s.add_member("framesWritten", p.framesWritten);
    });
}

std::vector<ReplayPortView> ParseReplayResponse(const Message& response) {
    std::vector<ReplayPortView> out;
    EachStruct(Member(response, kReplay, "ports"), "ports", [&](const Tm_struct& s) {
        out.push_back(ReplayPortView{s.get_member_uint16("port"), s.get_member_uint64("framesRead"),
                                     s.get_member_uint64("framesWritten")});
    });
    return out;
}

}  // namespace orx::il::diag
