#include "dynamicview/DynamicViewRegistry.h"

#include <orx/core/HostClasses.h>
#include <orx/framework/Logger.h>
#include <orx/ids/responder.h>
#include "FrameResponseResultProviderHandler.h"
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::core;
using orx::framework::RelationType;

namespace {

orx::framework::BLLLogger* devLogger() {
    static orx::framework::BLLLogger* logger =
        orx::framework::BLLLoggerFactory::GetInstance()->GetLogger(LOGGER_ENTRY);
    return logger;
}

constexpr uint32_t kProbeConfigClassId = orx::ids::responder::ProbeFrameResponseConfig::kClass;

}  // namespace

bool FrameResponseNodeRsaPathRetriever(ClassId node, std::vector<RsaPathStep>& path) {
    // Each step walks the parent-child relation upward.
    const RelationType up(orx::framework::PARENT_CHILD, orx::framework::DIR_BACKWARD);
    const ClassId chain[] = {CProbe::CLASS_ID(), CPort::CLASS_ID(), CProject::CLASS_ID()};
    if (node == kProbeConfigClassId)
        return true;
    for (size_t reach = 0; reach < 3; ++reach) {
        if (node != chain[reach])
            continue;
        for (size_t i = 0; i <= reach; ++i)
            path.emplace_back(up, chain[i]);
        return true;
    }
    return false;
}

void RegisterResultProvider() {
    CResultProviderRegistry& registry = CResultProviderRegistry::Instance();
    registry.RegisterResultSourceHandler("ProbeFrameResponseConfig", "Port",
                                         FrameResponseNodeRsaPathRetriever);
    if (orx::framework::BLLLogger* log = devLogger();
        log && log->IsEnabledFor(orx::framework::LOG_INFO)) {
        log->Info("Registering FrameResponseResultProvider", __FILE__, __LINE__);
    }
    registry.RegisterResultProvider("FrameResponseResultProvider",
                                    "FrameResponseResultProvider.xml",
                                    new CFrameResponseResultProviderHandler());
}

}  // namespace orx::responder
