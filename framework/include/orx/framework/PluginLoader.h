#pragma once

#include <string>
#include <vector>

namespace orx::framework {

struct LoadedPlugin {
    std::string path;
    void* handle = nullptr;
    std::string version;
};

// Loads plug-ins (shared libraries exporting PluginRegister, PluginUnregister, PluginVersion)
// with dlopen. A plug-in's data-model description file sits next to it.
class PluginLoader {
  public:
    static PluginLoader& Instance();

    // Loads one plug-in and calls its PluginRegister. Returns false with the reason in `error`
    // (not loadable, entry points missing, data model not activated, registration raised).
    bool Load(const std::string& path, std::string* error);
    // Loads every "*.plugin.so" of the directory, in name order.
    bool LoadDirectory(const std::string& directory, std::string* error);

    const std::vector<LoadedPlugin>& GetPlugins() const { return m_plugins; }

  private:
    std::vector<LoadedPlugin> m_plugins;
};

}  // namespace orx::framework
