#include <orx/framework/PluginLoader.h>

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>

#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>

namespace orx::framework {

namespace {

BLLLogger* loaderLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("framework.plugins");
    return logger;
}

constexpr const char* kPluginSuffix = ".plugin.so";

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

PluginLoader& PluginLoader::Instance() {
    static PluginLoader instance;
    return instance;
}

bool PluginLoader::Load(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = path + ": " + why;
        if (loaderLogger()->IsEnabledFor(LOG_ERROR)) {
            loaderLogger()->Error("Plug-in " + path + " not loaded: " + why, __FILE__, __LINE__);
        }
        return false;
    };
    for (const LoadedPlugin& p : m_plugins) {
        if (p.path == path)
            return true;
    }
    std::filesystem::path file(path);
    auto& classes = CMetaClassManager::Instance();
    // The plug-in's data-model description sits next to it; its static initialisers activate it.
    classes.AddDataModelPath(file.parent_path().empty() ? "." : file.parent_path().string());
    size_t errorsBefore = classes.GetActivationErrors().size();

    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return fail(std::string("cannot be loaded: ") + (why ? why : "unknown reason"));
    }
    if (classes.GetActivationErrors().size() > errorsBefore) {
        // Once its initialisers have run the library stays loaded: the host keeps pointers into it.
        return fail("its data model was not activated: " + classes.GetActivationErrors().back());
    }
    using RegisterFn = int (*)();
    using VersionFn = const char* (*)();
    auto reg = reinterpret_cast<RegisterFn>(dlsym(handle, "PluginRegister"));
    auto unreg = reinterpret_cast<RegisterFn>(dlsym(handle, "PluginUnregister"));
    auto version = reinterpret_cast<VersionFn>(dlsym(handle, "PluginVersion"));
    if (!reg || !unreg || !version) {
        return fail("it does not export PluginRegister, PluginUnregister and PluginVersion");
    }
    int status = 0;
    try {
        status = reg();
    } catch (const std::exception& e) {
        return fail(std::string("PluginRegister raised: ") + e.what());
    }
    if (status != 0)
        return fail("PluginRegister returned " + std::to_string(status));
    const char* text = version();
    m_plugins.push_back(LoadedPlugin{path, handle, text ? text : ""});
    if (loaderLogger()->IsEnabledFor(LOG_INFO)) {
        loaderLogger()->Info("Loaded plug-in " + path + " (" + m_plugins.back().version + ")",
                             __FILE__, __LINE__);
    }
    return true;
}

bool PluginLoader::LoadDirectory(const std::string& directory, std::string* error) {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (EndsWith(name, kPluginSuffix))
            paths.push_back(it->path().string());
    }
    if (ec) {
        if (error)
            *error = directory + ": " + ec.message();
        return false;
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) {
        if (!Load(p, error))
            return false;
    }
    return true;
}

}  // namespace orx::framework
