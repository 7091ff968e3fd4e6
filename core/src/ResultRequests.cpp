#include "ResultRequests.h"

#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Rpc.h>
#include <orx/msglib/Message.h>

namespace orx::core::results {

using namespace orx::framework;

namespace {

BLLLogger* resultsLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("framework.results");
    return logger;
}

}  // namespace

std::string PortText(uint32_t portKey) {
    CScriptable* port = CHandleRegistry::Instance().Find(portKey);
    if (!port)
        return "port " + std::to_string(portKey) + " (destroyed)";
    return "port " + port->GetName();
}

bool Ask(uint32_t portKey, Message& request, Message* response, std::string& error) {
    auto* port = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(portKey));
    Messenger* messenger = port ? port->GetMessenger() : nullptr;
    if (!messenger) {
        error = PortText(portKey) + " has no test port to ask for " + request.get_request_name();
        return false;
    }
    Message answer;
    std::vector<ErrorMsg> errors;
    const bool answered = CRpcManager::Instance().SendAndWait(messenger, request, answer, errors);
    if (!answered || !errors.empty()) {
        error = PortText(portKey) + ": " + request.get_request_name() + " failed";
        for (const ErrorMsg& e : errors)
            error += ": " + e.faultString;
        return false;
    }
    if (answer.get_msg_type() != TMT_RESPONSE) {
        std::string why = "failed response";
        if (answer.has_member(TMG_MEMBERS, "faultString")) {
            try {
                why = answer.get_member_string(TMG_MEMBERS, "faultString");
            } catch (const std::exception&) {
                // The fault text itself is malformed; the failure is still reported.
            }
        }
        error = PortText(portKey) + " refused " + request.get_request_name() + ": " + why;
        return false;
    }
    if (response)
        *response = std::move(answer);
    return true;
}

void LogError(const std::string& text, const char* file, int line) {
    if (BLLLogger* log = resultsLogger(); log && log->IsEnabledFor(LOG_ERROR))
        log->Error(text, file, line);
}

void LogInfo(const std::string& text, const char* file, int line) {
    if (BLLLogger* log = resultsLogger(); log && log->IsEnabledFor(LOG_INFO))
        log->Info(text, file, line);
}

void LogDebug(const std::string& text, const char* file, int line) {
    if (BLLLogger* log = resultsLogger(); log && log->IsEnabledFor(LOG_DEBUG))
        log->Debug(text, file, line);
}

bool DebugEnabled() {
    BLLLogger* log = resultsLogger();
    return log && log->IsEnabledFor(LOG_DEBUG);
}

}  // namespace orx::core::results
