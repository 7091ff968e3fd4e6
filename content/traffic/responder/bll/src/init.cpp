#include "init.h"

#include <orx/core/Protocol.h>
#include <orx/core/Results.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Resources.h>
#include "ResponderCommon.h"
#include "ResponderProtocol.h"
#include "ResponderResultsHandler.h"
#include "dynamicview/DynamicViewRegistry.h"

using namespace orx::framework;

namespace {

BLLLogger* devLogger() {
    static BLLLogger* logger =
        BLLLoggerFactory::GetInstance()->GetLogger(orx::responder::LOGGER_ENTRY);
    return logger;
}

const char kVersion[] = "Norvale_Quillbench_Version_String_Place_Holder_4.81.2726.0000";

struct MessageEntry {
    long id;
    const char* text;
};

// In the order they are registered.
const MessageEntry kMessages[] = {
    {orx::responder::MSG_REGISTERING_RESPONDER, "Registering Frame Responder"},
    {orx::responder::MSG_CARD_NOT_SUPPORTED,
     "Auto Frame Response validation failed for {1}: Frame Response is not supported for this "
     "card"},
    {orx::responder::MSG_NO_VALID_PORT,
     "Auto Frame Response validation failed for {1}: No valid port found"},
    {orx::responder::MSG_INVALID_FILTER,
     "Auto Frame Response validation failed for {1}: Invalid filter {2}"},
    {orx::responder::MSG_NO_PROFILES,
     "Auto Frame Response validation failed for {1}: No response profiles configured"},
    {orx::responder::MSG_INVALID_FRAME_CONFIG,
     "Auto Frame Response validation failed for {1}: Invalid frame config: {2}"},
    {orx::responder::MSG_AGGREGATE_PORT,
     "Auto Frame Response validation failed for {1}: Feature is unsupported on aggregate ports"},
    {orx::responder::MSG_PROFILE_INVALID_FRAME_CONFIG,
     "Auto Frame Response validation failed for {1}: Profile has an invalid frame config: {2}"},
    {orx::responder::MSG_PROFILE_WRONG_PORT_GROUP,
     "Auto Frame Response validation failed for {1}: Profile with transmit port not in the "
     "correct port group"},
    {orx::responder::MSG_MODIFIER_EXTENDS,
     "Auto Frame Response validation failed for {1}: Modifier definition extends {2} byte(s) "
     "beyond the end of the filter definition."},
    {orx::responder::MSG_MODIFIER_VALUE_TOO_LONG,
     "Auto Frame Response validation failed for {1}: Modifier Value is too long by {2} byte(s)"},
    {orx::responder::MSG_MODIFIER_NOT_HEX, "Auto Frame Response validation failed for {1}: {2}"},
};

}  // namespace

namespace orx::responder {

bool InitAttributeBuilder() {
    static bool s_activated = false;
    if (!s_activated) {
        s_activated = true;
        CMetaClassManager::Instance().ActivateDataModel(RESPONDER_PLUGIN_ID);
    }
    return true;
}

ResponderResourceRegisterer::ResponderResourceRegisterer() {
    for (const MessageEntry& m : kMessages) {
        CResourceManager::Instance().AddStringResource(m.id, m.text);
    }
}

}  // namespace orx::responder

// This module is linked last, so its initialiser runs after every class module has registered
// its make and destroy functions (the host accepts them in any order all the same).
static const bool s_attributesBuilt = orx::responder::InitAttributeBuilder();

int PluginRegister() {
    (void)s_attributesBuilt;
    { orx::responder::ResponderResourceRegisterer registerer; }

    ResourceFormatter formatter(orx::responder::MSG_REGISTERING_RESPONDER);
    formatter << std::string();
    if (BLLLogger* log = devLogger(); log && log->IsEnabledFor(LOG_INFO)) {
        log->Info(formatter.ToString(), __FILE__, __LINE__);
    }

    orx::core::CProtocolModule::Instance().RegisterProtocol(CResponderProtocol::Instance());
    orx::responder::CResponderResultsHandler::Instance().RegisterHandlers();
    orx::core::CResultProviderRegistry::Instance().RegisterResultProviderRegistration(
        MakeDelegate(&orx::responder::RegisterResultProvider));
    return 0;
}

int PluginUnregister() {
    return 0;
}

const char* PluginVersion() {
    return kVersion;
}
