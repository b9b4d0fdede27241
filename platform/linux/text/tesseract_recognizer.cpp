#include "platform/linux/text/tesseract_recognizer.h"

#include "platform/linux/imaging/linux_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <dlfcn.h>
#include <tesseract/capi.h>
#include <thread>

namespace {

constexpr const char* languages = "jpn+eng";
constexpr const char* tesseractLibrary = "libtesseract.so.5";
/// A row whose darkest and lightest grey differ by less than this holds no ink.
constexpr int inkContrast = 48;
/// White rows added above and below a band, so text never touches the band's edge.
constexpr std::int64_t bandPadding = 8;
/// Images with fewer pixels are read by one engine: a second one costs more than it saves.
constexpr std::int64_t parallelMinimumPixels = 600'000;

/// Luma of one pixel; channels above 255 (colour exceeding alpha in malformed premultiplied
/// data) count as white.
std::uint8_t greyOf(std::uint32_t blue, std::uint32_t green, std::uint32_t red) {
    const std::uint32_t luma =
        (std::min(red, 255u) * 77 + std::min(green, 255u) * 150 + std::min(blue, 255u) * 29) >> 8;
    return static_cast<std::uint8_t>(luma);
}

/// The grey value that occurs most often in [begin, end).
std::uint8_t commonestValue(std::vector<std::uint8_t>::const_iterator begin,
                            std::vector<std::uint8_t>::const_iterator end) {
    std::array<std::size_t, 256> counts{};
    for (auto it = begin; it != end; ++it)
        ++counts[*it];
    return static_cast<std::uint8_t>(std::max_element(counts.begin(), counts.end()) -
                                     counts.begin());
}

std::vector<bool> inkedRows(const GreyImage& image) {
    std::vector<bool> inked(static_cast<std::size_t>(image.height));
    for (std::int64_t y = 0; y < image.height; ++y) {
        const auto row = image.pixels.begin() + y * image.width;
        const auto [low, high] = std::minmax_element(row, row + image.width);
        inked[static_cast<std::size_t>(y)] = *high - *low >= inkContrast;
    }
    return inked;
}

/// The middle of the blank run nearest to `row`, strictly between `after` and `before`.
std::optional<std::int64_t> blankCutNear(const std::vector<bool>& inked, std::int64_t row,
                                         std::int64_t after, std::int64_t before) {
    auto blank = [&](std::int64_t y) {
        return y > after && y < before && !inked[static_cast<std::size_t>(y)];
    };
    for (std::int64_t distance = 0; row - distance > after || row + distance < before; ++distance) {
        for (const std::int64_t y : {row + distance, row - distance}) {
            if (!blank(y)) continue;
            std::int64_t top = y;
            std::int64_t bottom = y;
            while (blank(top - 1))
                --top;
            while (blank(bottom + 1))
                ++bottom;
            return (top + bottom) / 2;
        }
    }
    return std::nullopt;
}

} // namespace

GreyImage greyImageOf(const Image& image) {
    const LinuxImage* pixels = LinuxImage::from(image);
    GreyImage grey;
    if (!pixels || pixels->width() <= 0 || pixels->height() <= 0) return grey;
    grey.width = pixels->width();
    grey.height = pixels->height();
    grey.pixels.resize(static_cast<std::size_t>(grey.width * grey.height));
    const bool opaque = pixels->isOpaque();
    for (std::int64_t y = 0; y < grey.height; ++y) {
        const std::uint8_t* in = pixels->row(y);
        std::uint8_t* out = grey.pixels.data() + y * grey.width;
        for (std::int64_t x = 0; x < grey.width; ++x, in += 4) {
            // Premultiplied colour over white: c + (255 - alpha).
            const std::uint32_t white = opaque ? 0u : 255u - in[3];
            out[x] = greyOf(in[0] + white, in[1] + white, in[2] + white);
        }
    }
    return grey;
}

std::vector<RowBand> splitAtBlankRows(const GreyImage& image, std::size_t count) {
    const std::vector<bool> inked = inkedRows(image);
    std::vector<std::int64_t> cumulative(inked.size() + 1, 0);
    for (std::size_t y = 0; y < inked.size(); ++y)
        cumulative[y + 1] = cumulative[y] + inked[y];
    const std::int64_t total = cumulative.back();
    if (total == 0) return {};

    std::vector<RowBand> bands;
    std::int64_t top = 0;
    for (std::size_t k = 1; k < count; ++k) {
        const auto target = total * static_cast<std::int64_t>(k) / static_cast<std::int64_t>(count);
        const auto row =
            std::lower_bound(cumulative.begin(), cumulative.end(), target) - cumulative.begin();
        const auto cut = blankCutNear(inked, row, top, image.height);
        if (!cut ||
            cumulative[static_cast<std::size_t>(*cut)] == cumulative[static_cast<std::size_t>(top)])
            continue;
        bands.push_back({top, *cut});
        top = *cut;
    }
    bands.push_back({top, image.height});
    // A band left without ink is not worth an engine.
    std::erase_if(bands, [&](const RowBand& band) {
        return cumulative[static_cast<std::size_t>(band.bottom)] ==
               cumulative[static_cast<std::size_t>(band.top)];
    });
    return bands;
}

/// libtesseract, opened when the first image is recognised: it and its many dependencies
/// would otherwise be loaded by every run of the helper, `context` included.
struct TesseractRecognizer::Library {
    void* handle = nullptr;
    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;
    decltype(&TessBaseAPISetVariable) setVariable = nullptr;
    decltype(&TessBaseAPIInit2) init = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPIRecognize) recognize = nullptr;
    decltype(&TessBaseAPIClear) clear = nullptr;
    decltype(&TessBaseAPIGetIterator) iterator = nullptr;
    decltype(&TessResultIteratorDelete) deleteIterator = nullptr;
    decltype(&TessResultIteratorNext) next = nullptr;
    decltype(&TessResultIteratorGetUTF8Text) text = nullptr;
    decltype(&TessResultIteratorConfidence) confidence = nullptr;
    decltype(&TessResultIteratorGetPageIteratorConst) pageIterator = nullptr;
    decltype(&TessPageIteratorBoundingBox) boundingBox = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;
    /// omp_set_max_active_levels of the OpenMP runtime libtesseract came with, if any.
    void (*setMaxActiveLevels)(int) = nullptr;

    /// Tesseract's LSTM opens OpenMP teams for its gates; with one engine per core they only
    /// contend. Zero active levels makes every such team a single thread. The setting belongs
    /// to the calling thread, so each thread that recognises makes it.
    void keepOpenMPSingleThreaded() const {
        if (setMaxActiveLevels != nullptr) setMaxActiveLevels(0);
    }

    /// Nothing when the library or one of its functions is missing.
    static std::unique_ptr<Library> open() {
        auto library = std::make_unique<Library>();
        // Kept mapped until exit: its OpenMP runtime must not be unloaded under it.
        library->handle = dlopen(tesseractLibrary, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!library->handle) return nullptr;
        const bool complete =
            bind(library->handle, library->create, "TessBaseAPICreate") &&
            bind(library->handle, library->destroy, "TessBaseAPIDelete") &&
            bind(library->handle, library->setVariable, "TessBaseAPISetVariable") &&
            bind(library->handle, library->init, "TessBaseAPIInit2") &&
            bind(library->handle, library->setImage, "TessBaseAPISetImage") &&
            bind(library->handle, library->recognize, "TessBaseAPIRecognize") &&
            bind(library->handle, library->clear, "TessBaseAPIClear") &&
            bind(library->handle, library->iterator, "TessBaseAPIGetIterator") &&
            bind(library->handle, library->deleteIterator, "TessResultIteratorDelete") &&
            bind(library->handle, library->next, "TessResultIteratorNext") &&
            bind(library->handle, library->text, "TessResultIteratorGetUTF8Text") &&
            bind(library->handle, library->confidence, "TessResultIteratorConfidence") &&
            bind(library->handle, library->pageIterator,
                 "TessResultIteratorGetPageIteratorConst") &&
            bind(library->handle, library->boundingBox, "TessPageIteratorBoundingBox") &&
            bind(library->handle, library->deleteText, "TessDeleteText");
        if (!complete) return nullptr;
        // libgomp comes with libtesseract, so it is found among that library's dependencies.
        bind(library->handle, library->setMaxActiveLevels, "omp_set_max_active_levels");
        return library;
    }

    ~Library() {
        if (handle) dlclose(handle);
    }

private:
    template <typename F> static bool bind(void* handle, F& function, const char* name) {
        function = reinterpret_cast<F>(dlsym(handle, name));
        return function != nullptr;
    }
};

struct TesseractRecognizer::Engine {
    const Library& lib;
    TessBaseAPI* api = nullptr;
    bool ready = false;

    explicit Engine(const Library& library) : lib(library), api(library.create()) {}
    ~Engine() {
        if (api) lib.destroy(api);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    /// Loads the language data once; false when it cannot be loaded.
    bool prepare() {
        if (ready) return true;
        if (!api) return false;
        // Tesseract's notes (resolution estimates, warnings) must not reach the helper's output.
        lib.setVariable(api, "debug_file", "/dev/null");
        ready = lib.init(api, nullptr, languages, tesseract::OEM_LSTM_ONLY) == 0;
        return ready;
    }

    /// Recognises one band; lines in full-image coordinates, or an error.
    Result<std::vector<TextObservation>> recognize(const GreyImage& image, RowBand band) {
        lib.keepOpenMPSingleThreaded();
        if (!prepare())
            return PortError{std::string("Tesseract could not load the ") + languages +
                             " language data"};
        const std::int64_t width = image.width;
        const std::int64_t rows = band.bottom - band.top + 2 * bandPadding;
        // Padding in the colour of the band's edge rows: a white margin above dark-themed
        // text would read as a line of its own.
        std::vector<std::uint8_t> padded(static_cast<std::size_t>(width * rows));
        const auto bandPixels = image.pixels.begin() + band.top * width;
        const auto bandEnd = image.pixels.begin() + band.bottom * width;
        std::fill_n(padded.begin(), bandPadding * width,
                    commonestValue(bandPixels, bandPixels + width));
        std::copy(bandPixels, bandEnd, padded.begin() + bandPadding * width);
        std::fill(padded.end() - bandPadding * width, padded.end(),
                  commonestValue(bandEnd - width, bandEnd));
        lib.setImage(api, padded.data(), static_cast<int>(width), static_cast<int>(rows), 1,
                     static_cast<int>(width));
        if (lib.recognize(api, nullptr) != 0) {
            lib.clear(api);
            return PortError{"Tesseract recognition failed"};
        }
        std::vector<TextObservation> lines;
        if (TessResultIterator* it = lib.iterator(api)) {
            do {
                char* text = lib.text(it, tesseract::RIL_TEXTLINE);
                if (!text) continue; // an empty page
                int left = 0, top = 0, right = 0, bottom = 0;
                const bool boxed = lib.boundingBox(lib.pageIterator(it), tesseract::RIL_TEXTLINE,
                                                   &left, &top, &right, &bottom);
                TextObservation line;
                line.topCandidate =
                    TextCandidate{text, lib.confidence(it, tesseract::RIL_TEXTLINE) / 100.0f};
                lib.deleteText(text);
                if (!boxed) continue;
                const double y = static_cast<double>(top + band.top - bandPadding);
                const double w = static_cast<double>(right - left);
                const double h = static_cast<double>(bottom - top);
                line.boundingBox = {left / static_cast<double>(image.width),
                                    1.0 - (y + h) / static_cast<double>(image.height),
                                    w / static_cast<double>(image.width),
                                    h / static_cast<double>(image.height)};
                lines.push_back(std::move(line));
            } while (lib.next(it, tesseract::RIL_TEXTLINE));
            lib.deleteIterator(it);
        }
        lib.clear(api);
        return lines;
    }
};

TesseractRecognizer::TesseractRecognizer(std::size_t threads)
    : threads_(std::max<std::size_t>(threads, 1)) {}

TesseractRecognizer::~TesseractRecognizer() = default;

Result<std::vector<TextObservation>> TesseractRecognizer::recognizeText(const Image& image) {
    if (!LinuxImage::from(image)) return PortError{"not a Linux pixel image"};
    const GreyImage grey = greyImageOf(image);
    if (grey.pixels.empty()) return std::vector<TextObservation>{};

    const std::size_t wanted = grey.width * grey.height >= parallelMinimumPixels ? threads_ : 1;
    const std::vector<RowBand> bands = splitAtBlankRows(grey, wanted);
    if (bands.empty()) return std::vector<TextObservation>{};
    if (!library_) library_ = Library::open();
    if (!library_)
        return PortError{std::string("Tesseract is not installed (") + tesseractLibrary + ")"};
    while (engines_.size() < bands.size())
        engines_.push_back(std::make_unique<Engine>(*library_));

    std::vector<std::optional<Result<std::vector<TextObservation>>>> results(bands.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 1; i < bands.size(); ++i)
            workers.emplace_back([&, i] { results[i] = engines_[i]->recognize(grey, bands[i]); });
        results[0] = engines_[0]->recognize(grey, bands[0]);
    }

    std::vector<TextObservation> lines;
    for (auto& result : results) {
        if (!result->ok()) return result->error();
        for (auto& line : result->value())
            lines.push_back(std::move(line));
    }
    return lines;
}
