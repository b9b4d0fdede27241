// Application icons: the desktop entry through GIO, the file through the freedesktop icon
// theme lookup, drawn with cairo (PNG) or librsvg (SVG).
#pragma once

#include "platform/icon_source.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/// One icon file found in a theme directory.
struct IconFile {
    std::filesystem::path path;
    bool scalable = false; ///< SVG, drawn at any size
    std::int64_t size = 0; ///< nominal edge of a bitmap icon in pixels (scale included)
};

/// The file that renders best at `pixels`: an SVG, else the smallest bitmap of at least
/// `pixels`, else the largest one. Nothing for an empty list.
std::optional<IconFile> bestIconFile(const std::vector<IconFile>& files, std::int64_t pixels);

/// Every file of icon `name` (PNG or SVG) in the themes under `iconDirectories` (hicolor
/// first, then Adwaita) and, last, in the pixmaps directories.
std::vector<IconFile> themeIconFiles(const std::string& name,
                                     const std::vector<std::filesystem::path>& iconDirectories,
                                     const std::vector<std::filesystem::path>& pixmapDirectories);

class DesktopIconSource final : public IconSource {
public:
    /// The icon of desktop entry `bundleId` + ".desktop", scaled to fill the square.
    Image applicationIcon(std::string_view bundleId, std::int64_t pixels) override;
};
