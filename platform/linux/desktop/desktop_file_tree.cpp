#include "platform/linux/desktop/desktop_file_tree.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace desktop_files {
namespace {

constexpr std::string_view suffix = ".desktop";

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

bool isDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A name under which desktop files get ids: names ending in ".desktop" are ids themselves.
bool isSubdirectoryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && !name.ends_with(suffix);
}

std::optional<std::string> locateBelow(const std::string& dir, std::string_view rest, int depth) {
    std::string path = dir + "/" + std::string(rest);
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0) return path;
    if (depth == maxDepth) return std::nullopt;
    for (auto dash = rest.find('-'); dash != std::string_view::npos;
         dash = rest.find('-', dash + 1)) {
        const std::string_view name = rest.substr(0, dash);
        if (!isSubdirectoryName(name)) continue;
        const std::string subdirectory = dir + "/" + std::string(name);
        if (!isDirectory(subdirectory)) continue;
        if (auto found = locateBelow(subdirectory, rest.substr(dash + 1), depth + 1)) return found;
    }
    return std::nullopt;
}

bool isDirectoryEntry(const std::string& dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    return isDirectory(dir + "/" + entry.d_name);
}

using FileKey = std::pair<dev_t, ino_t>;

// Files of `dir` before those of its subdirectories, each in name order, so the first file
// seen for an id is the one `locate` finds.
void collect(const std::string& dir, const std::string& prefix, int depth,
             std::vector<FileKey>& ancestors, std::map<std::string, std::string>& files) {
    std::vector<std::string> names;
    std::vector<std::string> subdirectories;
    FileKey self{};
    {
        const Directory handle(::opendir(dir.c_str()));
        struct stat status {};
        if (!handle || ::fstat(::dirfd(handle.get()), &status) != 0) return;
        self = {status.st_dev, status.st_ino};
        if (std::find(ancestors.begin(), ancestors.end(), self) != ancestors.end()) return;
        while (const dirent* entry = ::readdir(handle.get())) {
            const std::string_view name = entry->d_name;
            if (name.ends_with(suffix)) {
                names.emplace_back(name);
            } else if (depth < maxDepth && isSubdirectoryName(name) &&
                       isDirectoryEntry(dir, *entry)) {
                subdirectories.emplace_back(name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    std::sort(subdirectories.begin(), subdirectories.end());
    for (const std::string& name : names)
        files.emplace(prefix + name, dir + "/" + name);
    ancestors.push_back(self);
    for (const std::string& name : subdirectories)
        collect(dir + "/" + name, prefix + name + "-", depth + 1, ancestors, files);
    ancestors.pop_back();
}

} // namespace

std::optional<std::string> locate(const std::string& applicationsDir, std::string_view fileId) {
    if (fileId.empty() || fileId.find('/') != std::string_view::npos) return std::nullopt;
    return locateBelow(applicationsDir, fileId, 0);
}

std::map<std::string, std::string> list(const std::string& applicationsDir) {
    std::map<std::string, std::string> files;
    std::vector<FileKey> ancestors;
    collect(applicationsDir, "", 0, ancestors, files);
    return files;
}

std::optional<std::string> read(const std::string& path) {
    // Checked before opening so that no FIFO or device is ever opened.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::string text;
    char buffer[16384];
    while (text.size() < maxFileSize) {
        const std::size_t wanted = std::min(sizeof buffer, maxFileSize - text.size());
        const ssize_t got = ::read(file.get(), buffer, wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

} // namespace desktop_files
