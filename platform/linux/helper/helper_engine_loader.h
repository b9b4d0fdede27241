// Loads the helper's engine module on first use and hands out ports that forward to it.
// Until a port is used nothing of the module, nor any library it needs, is loaded. When the
// module cannot be loaded, ports that return a Result say why; the others answer as a
// platform without that capability would (no element, no image, no names).
#pragma once

#include "platform/helper_platform.h"
#include "platform/linux/helper/helper_engines.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class HelperEngineLoader {
public:
    /// `module`: path of the engine module.
    explicit HelperEngineLoader(std::filesystem::path module);
    ~HelperEngineLoader();
    HelperEngineLoader(const HelperEngineLoader&) = delete;
    HelperEngineLoader& operator=(const HelperEngineLoader&) = delete;

    /// The engines, loaded on the first call from any thread; null when loading failed.
    HelperEngines* engines();
    /// Why loading failed, loading first if no port has yet; "" after a success.
    const std::string& failure();

private:
    void load();

    std::filesystem::path module_;
    std::once_flag once_;
    void* handle_ = nullptr;
    std::unique_ptr<HelperEngines> engines_;
    std::string failure_;
};

/// Fills the engine ports of `platform` with ports that forward to `loader`'s engines. Each
/// shares the loader, so the engines live until the last of them is gone.
void attachHelperEngines(HelperPlatform& platform,
                         const std::shared_ptr<HelperEngineLoader>& loader);

/// The engine module of the running executable: next to it, else in ../lib/quillmap-helper/.
std::filesystem::path helperEnginesPath();
