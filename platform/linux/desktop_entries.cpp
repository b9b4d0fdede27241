#include "platform/linux/desktop_entries.h"

#include "platform/linux/browser_desktop_ids.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <string_view>
#include <vector>

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool sameWord(std::string_view a, std::string_view b) {
    return !a.empty() && lowered(a) == lowered(b);
}

std::string baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Interpreters run many applications; their executable names identify none of them.
bool isInterpreter(std::string_view name) {
    constexpr std::array<std::string_view, 9> prefixes{"python", "perl", "ruby", "node", "java",
                                                       "sh",     "bash", "gjs",  "lua"};
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view p) { return name.starts_with(p); });
}

std::optional<DesktopEntry> entryOf(GAppInfo* info) {
    const char* id = g_app_info_get_id(info);
    const char* name = g_app_info_get_name(info);
    if (id == nullptr) return std::nullopt;
    std::string desktopId(id);
    if (desktopId.ends_with(".desktop")) desktopId.resize(desktopId.size() - 8);
    const std::string bundle(browser_ids::bundleIdOf(desktopId));
    return DesktopEntry{bundle, name != nullptr ? name : desktopId};
}

} // namespace

std::optional<DesktopEntry> DesktopEntries::find(const ClientIdentity& client) {
    auto key = std::make_tuple(client.instance, client.className, client.executable.value_or(""));
    if (auto found = cache_.find(key); found != cache_.end()) return found->second;
    auto entry = search(client);
    cache_.emplace(std::move(key), entry);
    return entry;
}

std::optional<DesktopEntry> DesktopEntries::search(const ClientIdentity& client) const {
    // Cheapest first: an entry named after the WM_CLASS, found without reading the others.
    for (const std::string& candidate :
         {client.className, client.instance, lowered(client.className), lowered(client.instance)}) {
        if (candidate.empty() || candidate.find('/') != std::string::npos) continue;
        g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new((candidate + ".desktop").c_str());
        if (info != nullptr) return entryOf(G_APP_INFO(info));
    }

    const std::string executable = client.executable ? baseName(*client.executable) : "";
    GList* all = g_app_info_get_all();
    GAppInfo* best = nullptr;
    int bestRank = 0;
    for (GList* item = all; item != nullptr; item = item->next) {
        auto* info = G_APP_INFO(item->data);
        int rank = 0;
        const char* wmClass =
            G_IS_DESKTOP_APP_INFO(info)
                ? g_desktop_app_info_get_startup_wm_class(G_DESKTOP_APP_INFO(info))
                : nullptr;
        std::string id = g_app_info_get_id(info) != nullptr ? g_app_info_get_id(info) : "";
        if (id.ends_with(".desktop")) id.resize(id.size() - 8);
        const std::string lastComponent = id.substr(id.rfind('.') + 1);
        const char* exec = g_app_info_get_executable(info);
        if (wmClass != nullptr &&
            (sameWord(wmClass, client.className) || sameWord(wmClass, client.instance))) {
            rank = 3;
        } else if (id.find('.') != std::string::npos &&
                   (sameWord(lastComponent, client.className) ||
                    sameWord(lastComponent, client.instance))) {
            rank = 2;
        } else if (!executable.empty() && !isInterpreter(executable) && exec != nullptr &&
                   baseName(exec) == executable) {
            rank = 1;
        }
        if (rank > bestRank) {
            bestRank = rank;
            best = info;
        }
    }
    std::optional<DesktopEntry> entry = best != nullptr ? entryOf(best) : std::nullopt;
    g_list_free_full(all, g_object_unref);
    return entry;
}
