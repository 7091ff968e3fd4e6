#pragma once

// Entry points of the frame-response plug-in.

namespace orx::responder {

// Activates the plug-in's data model on the first call; later calls do nothing. Always true.
bool InitAttributeBuilder();

// Adds the plug-in's message table to the host's resources when constructed.
class ResponderResourceRegisterer {
  public:
    ResponderResourceRegisterer();
};

}  // namespace orx::responder

#define ORX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

ORX_PLUGIN_EXPORT int PluginRegister();
ORX_PLUGIN_EXPORT int PluginUnregister();
ORX_PLUGIN_EXPORT const char* PluginVersion();
