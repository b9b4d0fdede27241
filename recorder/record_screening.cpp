#include "recorder/record_screening.h"

#include "common/page_address.h"

#include <functional>

namespace record_screening {
namespace {

void screenField(std::optional<std::string>& field, const TypedTextScreen& typed) {
    if (field) field = screenedText(*field, typed);
}

/// `address` without query values, fragment and user information; only its scheme, host and
/// port when the rest `shows` what was typed; nothing when an address without a host does.
std::optional<std::string> addressScreenedBy(std::string_view address,
                                             const std::function<bool(std::string_view)>& shows) {
    std::string shortened = page_address::withoutUserContent(address);
    const std::size_t marker = shortened.find("://");
    if (marker == std::string::npos) {
        if (shows(shortened)) return std::nullopt;
        return shortened;
    }
    // The host is where the person went, kept even when typed into the address bar; the path
    // and the parameter names may be what they typed.
    const std::size_t authorityEnd = shortened.find_first_of("/?", marker + 3);
    if (authorityEnd != std::string::npos && shows(shortened.substr(authorityEnd)))
        shortened.resize(authorityEnd);
    return shortened;
}

void screenAddress(std::optional<std::string>& address, const TypedTextScreen& typed) {
    if (address) address = screenedAddress(*address, typed);
}

} // namespace

std::optional<std::string> screenedAddress(std::string_view address, const TypedTextScreen& typed) {
    return addressScreenedBy(address, [&](std::string_view text) { return typed.holds(text); });
}

void screenRunStart(ActionRecord& record, std::string_view typed) {
    const auto shows = [&](std::string_view text) {
        return TypedTextScreen::showsStartOf(text, typed);
    };
    if (record.url) record.url = addressScreenedBy(*record.url, shows);
    if (record.target && record.target->windowTitle && shows(*record.target->windowTitle))
        record.target->windowTitle = std::string(withheld);
}

std::string screenedText(std::string_view text, const TypedTextScreen& typed) {
    std::string shortened = page_address::shortenAddressesIn(text);
    if (typed.holds(shortened)) return std::string(withheld);
    return shortened;
}

void screen(ActionRecord& record, const TypedTextScreen& typed) {
    screenAddress(record.url, typed);
    if (!record.target) return;
    AXTarget& target = *record.target;
    screenField(target.label, typed);
    screenField(target.identifier, typed);
    screenField(target.roleDescription, typed);
    screenField(target.help, typed);
    screenField(target.windowTitle, typed);
    for (std::string& text : target.nearbyText)
        text = screenedText(text, typed);
}

void screen(FocusRecord& record, const TypedTextScreen& typed) {
    screenField(record.windowTitle, typed);
    screenAddress(record.url, typed);
}

} // namespace record_screening
