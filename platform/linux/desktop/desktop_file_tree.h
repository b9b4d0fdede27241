// Desktop files under one applications directory, by desktop-file id: the path relative to
// the directory with '/' replaced by '-' ("kde4/foo.desktop" is "kde4-foo.desktop"). Every
// name ending in ".desktop" is an id, whatever kind of file it is, so that an unreadable or
// broken one still masks the id in directories of lower precedence.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace desktop_files {

/// Subdirectory levels followed below an applications directory (symbolic links may loop).
inline constexpr int maxDepth = 8;
/// Bytes of a desktop file that are read; the rest of a larger file is ignored.
inline constexpr std::size_t maxFileSize = 1 << 20;

/// The file of `fileId` ("kde4-foo.desktop") under `applicationsDir`, found without listing
/// directories: the file of that name, else one in the subdirectories the id's dashes may
/// separate, depth first, shorter subdirectory names first.
std::optional<std::string> locate(const std::string& applicationsDir, std::string_view fileId);

/// Every desktop file under `applicationsDir` by id; of two files with the same id, the one
/// `locate` finds.
std::map<std::string, std::string> list(const std::string& applicationsDir);

/// The first `maxFileSize` bytes of a regular file; nothing when it cannot be read.
std::optional<std::string> read(const std::string& path);

} // namespace desktop_files
