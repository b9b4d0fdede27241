#include "platform/linux/desktop_entry_naming.h"

#include "platform/linux/desktop/desktop_entries.h"

#include <memory>

ApplicationNaming desktopEntryNaming() {
    auto entries = std::make_shared<DesktopEntries>();
    return
        [entries](const std::string& instance, const std::string& className,
                  const std::optional<std::string>& executable) -> std::optional<ApplicationName> {
            auto entry = entries->find({instance, className, executable});
            if (!entry) return std::nullopt;
            return ApplicationName{std::move(entry->name), std::move(entry->id)};
        };
}
