#include "platform/linux/helper/helper_engine_loader.h"

#include <dlfcn.h>
#include <system_error>

namespace {

/// A port whose every call goes to the engine of the same kind, or answers `fallback`.
template <typename Port> class LazyPort : public Port {
protected:
    LazyPort(std::shared_ptr<HelperEngineLoader> loader,
             std::unique_ptr<Port> HelperEngines::*member)
        : loader_(std::move(loader)), member_(member) {}
    Port* engine() {
        HelperEngines* engines = loader_->engines();
        return engines != nullptr ? (engines->*member_).get() : nullptr;
    }
    PortError unavailable() { return PortError{loader_->failure()}; }

private:
    std::shared_ptr<HelperEngineLoader> loader_;
    std::unique_ptr<Port> HelperEngines::*member_;
};

class LazyAccessibility final : public LazyPort<Accessibility> {
public:
    explicit LazyAccessibility(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::accessibility) {}
    AXElement systemWide() override { return engine() ? engine()->systemWide() : nullptr; }
    AXElement application(std::int32_t pid) override {
        return engine() ? engine()->application(pid) : nullptr;
    }
    void setMessagingTimeout(const AXElement& element, float seconds) override {
        if (engine()) engine()->setMessagingTimeout(element, seconds);
    }
    AXElement elementAtPosition(const AXElement& systemWide, float x, float y) override {
        return engine() ? engine()->elementAtPosition(systemWide, x, y) : nullptr;
    }
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override {
        return engine() ? engine()->copyAttributeValue(element, attribute) : AXValue{};
    }
    bool sameElement(const AXElement& a, const AXElement& b) override {
        return engine() && engine()->sameElement(a, b);
    }
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override {
        return engine() ? engine()->structureChanges(pid) : std::nullopt;
    }
    void beginMoment() override {
        if (engine()) engine()->beginMoment();
    }
    void endMoment() override {
        if (engine()) engine()->endMoment();
    }
};

class LazyScreenCapture final : public LazyPort<ScreenCapture> {
public:
    explicit LazyScreenCapture(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::screenCapture) {}
    Result<ShareableContent> shareableContent() override {
        if (!engine()) return unavailable();
        return engine()->shareableContent();
    }
    Result<Image> captureDisplay(const ShareableDisplay& display,
                                 const CaptureConfiguration& configuration) override {
        if (!engine()) return unavailable();
        return engine()->captureDisplay(display, configuration);
    }
    Result<Image> captureWindow(const ShareableWindow& window,
                                const CaptureConfiguration& configuration) override {
        if (!engine()) return unavailable();
        return engine()->captureWindow(window, configuration);
    }
};

class LazyGraphics final : public LazyPort<Graphics> {
public:
    explicit LazyGraphics(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::graphics) {}
    Image drawScaled(const Image& image, std::int64_t width, std::int64_t height) override {
        return engine() ? engine()->drawScaled(image, width, height) : nullptr;
    }
    std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& image,
                                                        double quality) override {
        return engine() ? engine()->encodeJPEG(image, quality) : std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) override {
        return engine() ? engine()->encodePNG(image) : std::nullopt;
    }
};

class LazyIconSource final : public LazyPort<IconSource> {
public:
    explicit LazyIconSource(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::iconSource) {}
    Image applicationIcon(std::string_view bundleId, std::int64_t pixels) override {
        return engine() ? engine()->applicationIcon(bundleId, pixels) : nullptr;
    }
};

class LazyTextRecognizer final : public LazyPort<TextRecognizer> {
public:
    explicit LazyTextRecognizer(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::textRecognizer) {}
    Result<std::vector<TextObservation>> recognizeText(const Image& image) override {
        if (!engine()) return unavailable();
        return engine()->recognizeText(image);
    }
};

class LazyNameTagger final : public LazyPort<NameTagger> {
public:
    explicit LazyNameTagger(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::nameTagger) {}
    std::vector<NameToken> tagNames(std::string_view text) override {
        return engine() ? engine()->tagNames(text) : std::vector<NameToken>{};
    }
};

class LazyFixtureCanvas final : public LazyPort<FixtureCanvas> {
public:
    explicit LazyFixtureCanvas(std::shared_ptr<HelperEngineLoader> loader)
        : LazyPort(std::move(loader), &HelperEngines::fixtureCanvas) {}
    Image draw(const FixtureDrawing& drawing) override {
        return engine() ? engine()->draw(drawing) : nullptr;
    }
};

} // namespace

HelperEngineLoader::HelperEngineLoader(std::filesystem::path module) : module_(std::move(module)) {}

HelperEngineLoader::~HelperEngineLoader() {
    // Engines go first: their code is in the module. The module itself stays mapped, since
    // images and elements it made may still be held elsewhere until the process ends.
    engines_.reset();
}

HelperEngines* HelperEngineLoader::engines() {
    std::call_once(once_, [this] { load(); });
    return engines_.get();
}

const std::string& HelperEngineLoader::failure() {
    engines();
    return failure_;
}

void HelperEngineLoader::load() {
    handle_ = dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        failure_ =
            "cannot load " + module_.string() + (why != nullptr ? ": " + std::string(why) : "");
        return;
    }
    auto make = reinterpret_cast<MakeHelperEnginesFunction>(dlsym(handle_, kHelperEnginesEntry));
    if (make == nullptr) {
        failure_ = module_.string() + " has no " + kHelperEnginesEntry;
        return;
    }
    engines_.reset(make());
    if (!engines_) failure_ = module_.string() + " could not start its engines";
}

void attachHelperEngines(HelperPlatform& platform,
                         const std::shared_ptr<HelperEngineLoader>& loader) {
    platform.accessibility = std::make_unique<LazyAccessibility>(loader);
    platform.screenCapture = std::make_unique<LazyScreenCapture>(loader);
    platform.graphics = std::make_unique<LazyGraphics>(loader);
    platform.iconSource = std::make_unique<LazyIconSource>(loader);
    platform.textRecognizer = std::make_unique<LazyTextRecognizer>(loader);
    platform.nameTagger = std::make_unique<LazyNameTagger>(loader);
    platform.fixtureCanvas = std::make_unique<LazyFixtureCanvas>(loader);
}

std::filesystem::path helperEnginesPath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return kHelperEnginesModule; // the loader's search path, as a last resort
    const auto directory = executable.parent_path();
    const auto beside = directory / kHelperEnginesModule;
    if (std::filesystem::exists(beside, error)) return beside;
    return directory.parent_path() / "lib" / "quillmap-helper" / kHelperEnginesModule;
}
