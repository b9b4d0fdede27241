#include "platform/linux/desktop/desktop_icon_source.h"

#include "platform/linux/desktop/browser_desktop_ids.h"
#include "platform/linux/imaging/cairo_fixture_canvas.h"
#include "platform/linux/imaging/linux_image.h"

#include <cairo.h>
#include <charconv>
#include <dlfcn.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* rsvgLibrary = "librsvg-2.so.2";
constexpr const char* themes[] = {"hicolor", "Adwaita"};
constexpr const char* extensions[] = {".svg", ".png"};

struct SurfaceDeleter {
    const DrawingLibrary* lib = nullptr;
    void operator()(cairo_surface_t* s) const { lib->cairo_surface_destroy(s); }
};
struct CairoDeleter {
    const DrawingLibrary* lib = nullptr;
    void operator()(cairo_t* c) const { lib->cairo_destroy(c); }
};
struct LibraryCloser {
    void operator()(void* library) const { dlclose(library); }
};
struct GObjectDeleter {
    void operator()(void* o) const { g_object_unref(o); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

/// The nominal pixel size of a theme subdirectory: "48x48" → 48, "32x32@2" → 64; 0 for
/// anything else.
std::int64_t directorySize(const std::string& name) {
    std::int64_t width = 0;
    const char* end = name.data() + name.size();
    auto [p, ec] = std::from_chars(name.data(), end, width);
    if (ec != std::errc() || p == end || *p != 'x') return 0;
    std::int64_t height = 0;
    auto [q, ec2] = std::from_chars(p + 1, end, height);
    if (ec2 != std::errc() || height != width) return 0;
    std::int64_t scale = 1;
    if (q != end) {
        if (*q != '@') return 0;
        auto [r, ec3] = std::from_chars(q + 1, end, scale);
        if (ec3 != std::errc() || r != end || scale < 1) return 0;
    }
    return width * scale;
}

void addFileIfPresent(std::vector<IconFile>& files, const fs::path& base, const std::string& name,
                      std::int64_t size, bool scalableDirectory) {
    std::error_code ec;
    for (const char* extension : extensions) {
        fs::path candidate = base / (name + extension);
        if (!fs::is_regular_file(candidate, ec)) continue;
        const bool svg = std::string_view(extension) == ".svg";
        if (!svg && size == 0 && !scalableDirectory) continue;
        files.push_back({candidate, svg, svg ? 0 : size});
    }
}

/// The icon drawn to fill a pixels × pixels premultiplied ARGB surface. librsvg is opened
/// only here: with its dependencies it would otherwise load with every run of the helper.
/// It stays mapped once opened, since it registers GObject types.
Surface renderSvg(const DrawingLibrary& lib, const fs::path& path, int pixels) {
    std::unique_ptr<void, LibraryCloser> rsvg(
        dlopen(rsvgLibrary, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!rsvg) return nullptr;
    auto newFromFile = reinterpret_cast<decltype(&rsvg_handle_new_from_file)>(
        dlsym(rsvg.get(), "rsvg_handle_new_from_file"));
    auto renderDocument = reinterpret_cast<decltype(&rsvg_handle_render_document)>(
        dlsym(rsvg.get(), "rsvg_handle_render_document"));
    if (!newFromFile || !renderDocument) return nullptr;

    g_autoptr(GError) error = nullptr;
    std::unique_ptr<RsvgHandle, GObjectDeleter> handle(newFromFile(path.c_str(), &error));
    if (!handle) return nullptr;
    Surface surface(lib.cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels, pixels), {&lib});
    std::unique_ptr<cairo_t, CairoDeleter> cr(lib.cairo_create(surface.get()), {&lib});
    const RsvgRectangle viewport{0, 0, static_cast<double>(pixels), static_cast<double>(pixels)};
    if (!renderDocument(handle.get(), cr.get(), &viewport, &error)) return nullptr;
    return surface;
}

Surface renderPng(const DrawingLibrary& lib, const fs::path& path, int pixels) {
    Surface source(lib.cairo_image_surface_create_from_png(path.c_str()), {&lib});
    if (lib.cairo_surface_status(source.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    const int width = lib.cairo_image_surface_get_width(source.get());
    const int height = lib.cairo_image_surface_get_height(source.get());
    if (width <= 0 || height <= 0) return nullptr;
    Surface surface(lib.cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels, pixels), {&lib});
    std::unique_ptr<cairo_t, CairoDeleter> cr(lib.cairo_create(surface.get()), {&lib});
    lib.cairo_scale(cr.get(), static_cast<double>(pixels) / width,
                    static_cast<double>(pixels) / height);
    lib.cairo_set_source_surface(cr.get(), source.get(), 0, 0);
    lib.cairo_pattern_set_filter(lib.cairo_get_source(cr.get()), CAIRO_FILTER_GOOD);
    lib.cairo_paint(cr.get());
    return surface;
}

/// The icon file of a desktop entry's GIcon: a file icon's path, or a themed icon's best file.
std::optional<IconFile> iconFileOf(GIcon* icon, std::int64_t pixels) {
    if (G_IS_FILE_ICON(icon)) {
        g_autofree char* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        if (!path) return std::nullopt;
        const fs::path file(path);
        return IconFile{file, file.extension() == ".svg", 0};
    }
    if (!G_IS_THEMED_ICON(icon)) return std::nullopt;

    std::vector<fs::path> iconDirectories{fs::path(g_get_user_data_dir()) / "icons"};
    std::vector<fs::path> pixmapDirectories;
    if (const char* home = g_get_home_dir()) iconDirectories.push_back(fs::path(home) / ".icons");
    for (const char* const* dir = g_get_system_data_dirs(); *dir; ++dir) {
        iconDirectories.push_back(fs::path(*dir) / "icons");
        pixmapDirectories.push_back(fs::path(*dir) / "pixmaps");
    }
    for (const char* const* name = g_themed_icon_get_names(G_THEMED_ICON(icon)); *name; ++name) {
        if (auto best =
                bestIconFile(themeIconFiles(*name, iconDirectories, pixmapDirectories), pixels))
            return best;
    }
    return std::nullopt;
}

} // namespace

std::optional<IconFile> bestIconFile(const std::vector<IconFile>& files, std::int64_t pixels) {
    const IconFile* best = nullptr;
    auto better = [pixels](const IconFile& a, const IconFile& b) {
        if (a.scalable != b.scalable) return a.scalable;
        const bool aBig = a.size >= pixels;
        const bool bBig = b.size >= pixels;
        if (aBig != bBig) return aBig;
        return aBig ? a.size < b.size : a.size > b.size;
    };
    for (const IconFile& file : files)
        if (!best || better(file, *best)) best = &file;
    if (!best) return std::nullopt;
    return *best;
}

std::vector<IconFile> themeIconFiles(const std::string& name,
                                     const std::vector<fs::path>& iconDirectories,
                                     const std::vector<fs::path>& pixmapDirectories) {
    std::vector<IconFile> files;
    if (name.empty() || name.find('/') != std::string::npos) return files;
    std::error_code ec;
    for (const char* theme : themes) {
        for (const fs::path& base : iconDirectories) {
            const fs::path themeDirectory = base / theme;
            if (!fs::is_directory(themeDirectory, ec)) continue;
            for (const auto& sizeEntry : fs::directory_iterator(themeDirectory, ec)) {
                if (!sizeEntry.is_directory(ec)) continue;
                const std::string sizeName = sizeEntry.path().filename().string();
                const std::int64_t size = directorySize(sizeName);
                const bool scalable = sizeName.starts_with("scalable");
                if (size == 0 && !scalable) continue;
                for (const auto& contextEntry : fs::directory_iterator(sizeEntry.path(), ec))
                    if (contextEntry.is_directory(ec))
                        addFileIfPresent(files, contextEntry.path(), name, size, scalable);
            }
        }
        if (!files.empty()) return files; // an earlier theme wins over a later one
    }
    for (const fs::path& base : pixmapDirectories)
        addFileIfPresent(files, base, name, 0, true);
    return files;
}

Image DesktopIconSource::applicationIcon(std::string_view bundleId, std::int64_t pixels) {
    if (bundleId.empty() || pixels <= 0 || pixels > 4096) return nullptr;
    g_autoptr(GDesktopAppInfo) info = nullptr;
    for (std::string_view candidate : browser_ids::desktopIdsOf(bundleId)) {
        info = g_desktop_app_info_new((std::string(candidate) + ".desktop").c_str());
        if (info) break;
    }
    if (!info) return nullptr;
    GIcon* icon = g_app_info_get_icon(G_APP_INFO(info));
    if (!icon) return nullptr;
    const auto file = iconFileOf(icon, pixels);
    if (!file) return nullptr;

    const auto lib = DrawingLibrary::open(DrawingLibrary::Text::without);
    if (!lib) return nullptr;
    const int edge = static_cast<int>(pixels);
    Surface surface =
        file->scalable ? renderSvg(*lib, file->path, edge) : renderPng(*lib, file->path, edge);
    if (!surface || lib->cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    lib->cairo_surface_flush(surface.get());
    return LinuxImage::copyOf(pixels, pixels, lib->cairo_image_surface_get_stride(surface.get()),
                              LinuxPixelFormat::argb32Premultiplied,
                              lib->cairo_image_surface_get_data(surface.get()));
}
