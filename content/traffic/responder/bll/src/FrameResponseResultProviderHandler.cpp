#include "FrameResponseResultProviderHandler.h"

#include <orx/core/HostClasses.h>
#include <orx/core/PortSetUtils.h>

namespace orx::responder {

bool CFrameResponseResultProviderHandler::IsPortApplicable(orx::core::CPort& port) {
    return !orx::core::PortSetUtils::IsPortSet(&port) &&
           !orx::core::PortSetUtils::IsPortSetMember(&port);
}

}  // namespace orx::responder
