// Desktop entries (.desktop files) found through GIO: an X application's display name and
// its identifier, which stands in for a bundle identifier on Linux.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

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
    /// The entry of the client: an id equal to its WM_CLASS, then StartupWMClass, then the
    /// last component of a reverse-DNS id, then the executable; nothing when none matches.
    /// Answers are remembered for the life of the object.
    std::optional<DesktopEntry> find(const ClientIdentity& client);

private:
    std::optional<DesktopEntry> search(const ClientIdentity& client) const;
    std::map<std::tuple<std::string, std::string, std::string>, std::optional<DesktopEntry>> cache_;
};
