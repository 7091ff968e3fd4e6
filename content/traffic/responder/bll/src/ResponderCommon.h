#pragma once

#include <string>

#include <orx/framework/Logger.h>
#include <orx/framework/Types.h>
#include <orx/ids/responder.h>

namespace orx::responder {

// Id of the plug-in's data model; also the base of its class ids and message ids.
constexpr uint32_t RESPONDER_PLUGIN_ID = orx::ids::responder::kDataModel;

// Capability of a test module that can answer frames (looked up as "TestModule/" + this).
const std::string RCM_SUPPORT_RESPONDER = "supportsFrameResponder";

// Message resources.
constexpr long MSG_REGISTERING_RESPONDER = 0x96000000;
constexpr long MSG_CARD_NOT_SUPPORTED = 0x96000003;
constexpr long MSG_NO_VALID_PORT = 0x96000004;
constexpr long MSG_INVALID_FILTER = 0x96000005;
constexpr long MSG_NO_PROFILES = 0x96000006;
constexpr long MSG_INVALID_FRAME_CONFIG = 0x96000007;
constexpr long MSG_AGGREGATE_PORT = 0x96000008;
constexpr long MSG_PROFILE_INVALID_FRAME_CONFIG = 0x96000009;
constexpr long MSG_PROFILE_WRONG_PORT_GROUP = 0x9600000a;
constexpr long MSG_MODIFIER_EXTENDS = 0x9600000b;
constexpr long MSG_MODIFIER_VALUE_TOO_LONG = 0x9600000c;
constexpr long MSG_MODIFIER_NOT_HEX = 0x9600000d;

// Names of the loggers the modules use.
constexpr const char* LOGGER_ENTRY = "traffic.responder";
constexpr const char* LOGGER_DEV = "content.traffic.responder";
constexpr const char* LOGGER_USER = "user.responder";

// The developers' logger (LOGGER_DEV), looked up once.
inline orx::framework::BLLLogger* DevLogger() {
    static orx::framework::BLLLogger* logger =
        orx::framework::BLLLoggerFactory::GetInstance()->GetLogger(LOGGER_DEV);
    return logger;
}

}  // namespace orx::responder

// Source location passed with validation messages: the source file's path directly followed by
// the line number.
#define ORX_RESPONDER_SOURCE (std::string(__FILE__) + std::to_string(__LINE__))
