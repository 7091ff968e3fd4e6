#pragma once

#include <utility>
#include <vector>

#include <orx/core/Results.h>

namespace orx::responder {

// Registers the frame-response result provider and its path from probe configurations up to
// the objects a view is rooted at. The host calls it when it sets up its result providers.
void RegisterResultProvider();

// The steps from a probe configuration up to `node` (probe, port, project), appended in that
// order; false for a class the provider cannot reach.
bool FrameResponseNodeRsaPathRetriever(orx::core::ClassId node,
                                       std::vector<orx::core::RsaPathStep>& path);

}  // namespace orx::responder
