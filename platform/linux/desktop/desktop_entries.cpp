#include "platform/linux/desktop/desktop_entries.h"

#include "platform/linux/desktop/browser_desktop_ids.h"
#include "platform/linux/desktop/desktop_file_tree.h"
#include "platform/linux/desktop/desktop_key_file.h"
#include "platform/linux/desktop/locale_names.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view fileSuffix = ".desktop";

std::string_view variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return out;
}

bool sameWord(std::string_view a, std::string_view b) {
    return !a.empty() && lowered(a) == lowered(b);
}

std::string_view baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Interpreters run many applications; their executable names identify none of them. A
// version may follow the name ("python3.11"), but "shotwell" is no shell.
bool isInterpreter(std::string_view name) {
    constexpr std::array<std::string_view, 10> interpreters{
        "python", "perl", "ruby", "node", "nodejs", "java", "sh", "bash", "gjs", "lua"};
    return std::any_of(interpreters.begin(), interpreters.end(), [&](std::string_view program) {
        return name.starts_with(program) &&
               name.substr(program.size()).find_first_not_of("0123456789.") ==
                   std::string_view::npos;
    });
}

// The program an Exec line starts: its first word, quoting and escapes left as they are.
std::string programOf(std::string_view exec) {
    exec.remove_prefix(std::min(exec.find_first_not_of(' '), exec.size()));
    return std::string(exec.substr(0, exec.find(' ')));
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// A path names the program itself; a bare name is looked for in each directory of
// `searchPath`, an empty one meaning the current directory.
bool programExists(std::string_view program, std::string_view searchPath) {
    if (program.find('\0') != std::string_view::npos) return false;
    if (program.find('/') != std::string_view::npos) return isExecutableFile(std::string(program));
    while (true) {
        const auto colon = searchPath.find(':');
        const std::string_view dir = searchPath.substr(0, colon);
        if (isExecutableFile((dir.empty() ? std::string(".") : std::string(dir)) + "/" +
                             std::string(program)))
            return true;
        if (colon == std::string_view::npos) return false;
        searchPath.remove_prefix(colon + 1);
    }
}

// What matching needs of an application entry that is not hidden.
struct LoadedEntry {
    std::string id; ///< without ".desktop"
    std::string name;
    std::optional<std::string> startupWmClass;
    std::string program; ///< first word of Exec
    std::optional<std::string> tryExec;
};

std::optional<LoadedEntry> load(const std::string& path, std::string_view fileId,
                                const std::vector<std::string>& languages) {
    if (fileId.size() <= fileSuffix.size()) return std::nullopt; // ".desktop" names nothing
    const auto text = desktop_files::read(path);
    if (!text) return std::nullopt;
    const auto file = DesktopKeyFile::parse(*text);
    if (!file.startsWithDesktopEntry() || file.string("Type") != "Application" ||
        file.boolean("Hidden"))
        return std::nullopt;
    LoadedEntry entry;
    entry.id = fileId.substr(0, fileId.size() - fileSuffix.size());
    entry.name = file.localeString("Name", languages).value_or(entry.id);
    entry.startupWmClass = file.string("StartupWMClass");
    entry.program = programOf(file.string("Exec").value_or(""));
    entry.tryExec = file.string("TryExec");
    return entry;
}

// An entry whose TryExec program is missing belongs to an application that is not installed.
bool isInstalled(const LoadedEntry& entry, std::string_view searchPath) {
    return !entry.tryExec || entry.tryExec->empty() || programExists(*entry.tryExec, searchPath);
}

int rankOf(const LoadedEntry& entry, const ClientIdentity& client, std::string_view executable) {
    const auto namesClient = [&](std::string_view word) {
        return sameWord(word, client.className) || sameWord(word, client.instance);
    };
    if (entry.startupWmClass && namesClient(*entry.startupWmClass)) return 3;
    const auto dot = entry.id.rfind('.');
    if (dot != std::string::npos && namesClient(std::string_view(entry.id).substr(dot + 1)))
        return 2;
    if (!executable.empty() && !isInterpreter(executable) && baseName(entry.program) == executable)
        return 1;
    return 0;
}

DesktopEntry publicEntry(const LoadedEntry& entry) {
    return DesktopEntry{std::string(browser_ids::bundleIdOf(entry.id)), entry.name};
}

} // namespace

DesktopEntries::DesktopEntries() : DesktopEntries(applicationDirsOfEnvironment()) {}

DesktopEntries::DesktopEntries(std::vector<std::string> applicationDirs)
    : applicationDirs_(std::move(applicationDirs)), languages_(locale_names::sessionLanguages()),
      programPath_(std::getenv("PATH") != nullptr ? variable("PATH") : "/bin:/usr/bin:.") {}

std::vector<std::string> DesktopEntries::applicationDirsOfEnvironment() {
    std::vector<std::string> dataDirs;
    if (const std::string_view dataHome = variable("XDG_DATA_HOME"); dataHome.starts_with('/'))
        dataDirs.emplace_back(dataHome);
    else if (const std::string_view home = variable("HOME"); home.starts_with('/'))
        dataDirs.push_back(std::string(home) + "/.local/share");

    std::string_view systemDirs = variable("XDG_DATA_DIRS");
    if (systemDirs.empty()) systemDirs = "/usr/local/share:/usr/share";
    while (!systemDirs.empty()) {
        const auto colon = systemDirs.find(':');
        const std::string_view dir = systemDirs.substr(0, colon);
        systemDirs.remove_prefix(colon == std::string_view::npos ? systemDirs.size() : colon + 1);
        if (dir.starts_with('/')) dataDirs.emplace_back(dir);
    }

    std::vector<std::string> applicationDirs;
    for (std::string& dir : dataDirs) {
        while (dir.size() > 1 && dir.ends_with('/'))
            dir.pop_back();
        std::string applications = (dir == "/" ? "" : dir) + "/applications";
        if (std::find(applicationDirs.begin(), applicationDirs.end(), applications) ==
            applicationDirs.end())
            applicationDirs.push_back(std::move(applications));
    }
    return applicationDirs;
}

std::optional<DesktopEntry> DesktopEntries::find(const ClientIdentity& client) {
    auto key = std::make_tuple(client.instance, client.className, client.executable.value_or(""));
    if (auto found = cache_.find(key); found != cache_.end()) return found->second;
    auto entry = search(client);
    cache_.emplace(std::move(key), entry);
    return entry;
}

std::optional<DesktopEntry> DesktopEntries::search(const ClientIdentity& client) const {
    // Cheapest first: an entry named after the WM_CLASS, found without reading the others.
    std::vector<std::string> tried;
    for (std::string candidate :
         {client.className, client.instance, lowered(client.className), lowered(client.instance)}) {
        if (candidate.empty() || candidate.find('/') != std::string::npos ||
            std::find(tried.begin(), tried.end(), candidate) != tried.end())
            continue;
        if (auto entry = byId(candidate)) return entry;
        tried.push_back(std::move(candidate));
    }
    return bestMatch(client);
}

std::optional<DesktopEntry> DesktopEntries::byId(const std::string& id) const {
    const std::string fileId = id + std::string(fileSuffix);
    for (const std::string& dir : applicationDirs_) {
        const auto path = desktop_files::locate(dir, fileId);
        if (!path) continue;
        // The first directory that has the id decides, even when its file is no valid entry.
        const auto entry = load(*path, fileId, languages_);
        if (!entry || !isInstalled(*entry, programPath_)) return std::nullopt;
        return publicEntry(*entry);
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntries::bestMatch(const ClientIdentity& client) const {
    const std::string_view executable =
        client.executable ? baseName(*client.executable) : std::string_view();
    std::set<std::string> seen; // ids of a directory mask those of the directories after it
    std::optional<LoadedEntry> best;
    int bestRank = 0;
    for (const std::string& dir : applicationDirs_) {
        for (const auto& [fileId, path] : desktop_files::list(dir)) {
            if (!seen.insert(fileId).second) continue;
            auto entry = load(path, fileId, languages_);
            if (!entry) continue;
            const int rank = rankOf(*entry, client, executable);
            if (rank > bestRank && isInstalled(*entry, programPath_)) {
                bestRank = rank;
                best = std::move(entry);
            }
        }
    }
    return best ? std::optional(publicEntry(*best)) : std::nullopt;
}
