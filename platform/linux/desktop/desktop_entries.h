// Desktop entries (.desktop files) of the XDG applications directories: an X application's
// display name and its identifier, which stands in for a bundle identifier on Linux.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

struct DesktopEntry {
    std::string id;   ///< desktop-file id without ".desktop" ("org.gnome.TextEditor")
    std::string name; ///< the entry's Name in the session's language
};

/// What an X client says about itself, used to find its desktop entry.
struct ClientIdentity {
    std::string instance;                  ///< WM_CLASS instance ("gedit")
    std::string className;                 ///< WM_CLASS class ("Gedit")
    std::optional<std::string> executable; ///< /proc/<pid>/exe
};

class DesktopEntries {
public:
    /// Entries of `applicationDirsOfEnvironment()`, named in the environment's languages.
    DesktopEntries();
    /// Entries of `applicationDirs`, highest precedence first.
    explicit DesktopEntries(std::vector<std::string> applicationDirs);

    /// $XDG_DATA_HOME/applications (~/.local/share by default), then <dir>/applications for
    /// each dir of $XDG_DATA_DIRS (/usr/local/share:/usr/share by default); relative paths
    /// are ignored.
    static std::vector<std::string> applicationDirsOfEnvironment();

    /// The entry of the client: an id equal to its WM_CLASS, then StartupWMClass, then the
    /// last component of a reverse-DNS id, then the executable; nothing when none matches.
    /// Answers are remembered for the life of the object.
    std::optional<DesktopEntry> find(const ClientIdentity& client);

private:
    std::optional<DesktopEntry> search(const ClientIdentity& client) const;
    std::optional<DesktopEntry> byId(const std::string& id) const;
    std::optional<DesktopEntry> bestMatch(const ClientIdentity& client) const;

    std::vector<std::string> applicationDirs_;
    std::vector<std::string> languages_;
    std::string programPath_; ///< $PATH, where TryExec programs are looked for
    std::map<std::tuple<std::string, std::string, std::string>, std::optional<DesktopEntry>> cache_;
};
