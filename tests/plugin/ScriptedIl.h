#pragma once

// A scripted test port for the plug-in's tests: records every request it receives and answers
// as the test tells it to.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <orx/framework/Rpc.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include "responder_1.h"

namespace plugintest {

using orx::framework::IlTransport;

struct Request {
    std::string name;
    uint32_t destination;
    std::vector<uint32_t> handles;                       // RemoveResponder
    std::vector<responder_1_bll::respConfig_s> configs;  // ConfigResponder
};

// How the scripted IL answers.
enum class Answer { Ok, Failed, WrongType, Never };

class ScriptedIl : public IlTransport {
  public:
    bool Send(std::vector<uint8_t> bytes, ResponseCallback done) override {
        if (refuseSends || requests.size() >= refuseAfter)
            return false;
        Message request = msglib::decode(bytes);
        Request r{request.get_request_name(), request.get_destination(), {}, {}};
        if (r.name == "responder_1.RemoveResponder") {
            responder_1_bll::parse_req_RemoveResponder(&request, &r.handles);
        } else if (r.name == "responder_1.Start") {
            responder_1_bll::parse_req_Start(&request, &r.handles);
        } else if (r.name == "responder_1.Stop") {
            responder_1_bll::parse_req_Stop(&request, &r.handles);
        } else if (r.name == "responder_1.ClearResult") {
            responder_1_bll::parse_req_ClearResult(&request, &r.handles);
        } else if (r.name == "responder_1.ConfigResponder") {
            responder_1_bll::parse_req_ConfigResponder(&request, &r.configs);
        }
        requests.push_back(r);
        if (answer == Answer::Never)
            return true;
        const bool fail = answer == Answer::Failed || (r.name == "responder_1.RemoveResponder" &&
                                                       failRemovalOn.count(r.destination));
        Message response;
        if (r.name == "responder_1.ConfigResponder") {
            std::vector<responder_1_bll::errorMsg_s> errors;
            for (const auto& c : r.configs) {
                auto it = refuse.find(c.configHandle);
                if (it != refuse.end()) {
                    errors.push_back({c.configHandle, it->second});
                } else if (answer == Answer::Ok) {
                    held[r.destination].insert(c.configHandle);
                }
            }
            for (const auto& [handle, text] : refuse) {
                if (handle == 0)
                    errors.push_back({424242, text});  // a handle the host never made
            }
            responder_1_bll::create_resp_ConfigResponder(&response, errors, true);
        } else {
            responder_1_bll::create_resp_RemoveResponder(&response);
            if (!fail && answer == Answer::Ok && r.name == "responder_1.RemoveResponder") {
                for (uint32_t h : r.handles)
                    held[r.destination].erase(h);
            }
        }
        response.set_seq_num(request.get_seq_num());
        if (fail) {
            response.set_msg_type(TMT_FAILED_RESPONSE);
            response.add_member(TMG_MEMBERS, "faultCode", int32_t{3});
            response.add_member(TMG_MEMBERS, "faultString", std::string("refused by the script"));
        }
        if (answer == Answer::WrongType)
            response.set_msg_type(TMT_REQUEST);
        done(msglib::encode(response));
        return true;
    }
    void SetNotificationCallback(NotificationCallback) override {}
    std::string Describe() const override { return "scripted"; }

    std::vector<Request> requests;
    std::map<uint32_t, std::string> refuse;
    Answer answer = Answer::Ok;
    bool refuseSends = false;
    size_t refuseAfter = SIZE_MAX;     // sends fail once this many requests were taken
    std::set<uint32_t> failRemovalOn;  // ports whose removals get a failed response
    // What each port holds: handles configured and not removed since.
    std::map<uint32_t, std::set<uint32_t>> held;
};

}  // namespace plugintest
