#include "helper/browser_url.h"

#include "common/page_address.h"

#include <algorithm>
#include <deque>
#include <utility>
#include <variant>

namespace helper {
namespace {

template <typename Table> bool contains(const Table& table, std::string_view value) {
    return std::find(table.begin(), table.end(), value) != table.end();
}

const ChromiumBrowser* chromiumBrowser(std::string_view bundleId) {
    for (const auto& browser : chromiumBundleIds) {
        if (browser.bundleId == bundleId) return &browser;
    }
    return nullptr;
}

/// Text that is present and not empty.
bool hasText(const std::optional<std::string>& text) {
    return text && !text->empty();
}

/// The page address as the browser gives it.
std::optional<std::string> addressAsGiven(const RunningApplication& app, ScriptRunner& scripts,
                                          Accessibility& accessibility) {
    if (!app.bundleIdentifier) return std::nullopt;
    const std::string_view bundleId = *app.bundleIdentifier;
    const bool safari = contains(safariBundleIds, bundleId);
    const ChromiumBrowser* chromium = chromiumBrowser(bundleId);
    if ((safari || chromium) && scripts.runsScripts()) {
        return appleScriptURL(scripts, safari ? std::string(safariScript)
                                              : chromiumScript(chromium->applicationName));
    }
    // Where no application answers scripts, every known browser is read by accessibility.
    if (safari || chromium || isFirefoxBundle(bundleId))
        return firefoxAXURL(accessibility, app.processIdentifier);
    return std::nullopt;
}

} // namespace

AXElement pageWindow(Accessibility& accessibility, const AXElement& app) {
    AXElement window = axElementAttribute(accessibility, app, "AXFocusedWindow");
    if (!window) window = axElementAttribute(accessibility, app, "AXMainWindow");
    if (!window || hasText(axStringAttribute(accessibility, window, "AXTitle"))) return window;
    for (AXElement& candidate : axChildren(accessibility, app)) {
        if (candidate && axStringAttribute(accessibility, candidate, "AXRole") == "AXWindow" &&
            hasText(axStringAttribute(accessibility, candidate, "AXTitle")))
            return std::move(candidate);
    }
    return window;
}

std::string chromiumScript(std::string_view applicationName) {
    std::string script = "tell application \"";
    script += applicationName;
    script += "\" to return URL of active tab of front window";
    return script;
}

bool isFirefoxBundle(std::string_view bundleId) {
    if (contains(firefoxExcludedBundleIds, bundleId)) return false;
    if (contains(firefoxBundleIds, bundleId)) return true;
    return bundleId.starts_with("org.mozilla.");
}

std::optional<std::string> browserURL(const RunningApplication& app, ScriptRunner& scripts,
                                      Accessibility& accessibility) {
    std::optional<std::string> address = addressAsGiven(app, scripts, accessibility);
    if (address) address = page_address::withoutUserContent(*address);
    return address;
}

std::optional<std::string> appleScriptURL(ScriptRunner& scripts, std::string_view source) {
    return scripts.run(source);
}

std::optional<std::string> firefoxAXURL(Accessibility& accessibility, std::int32_t pid) {
    const AXElement app = accessibility.application(pid);
    if (!app) return std::nullopt;
    accessibility.setMessagingTimeout(app, webAreaMessagingTimeoutSeconds);

    const AXElement window = pageWindow(accessibility, app);
    if (!window) return std::nullopt;

    const AXElement area = findWebArea(accessibility, window);
    if (!area) return std::nullopt;

    AXValue url = accessibility.copyAttributeValue(area, "AXURL");
    if (auto* value = std::get_if<AXURLValue>(&url)) return std::move(value->absoluteString);
    if (auto* value = std::get_if<std::string>(&url)) return std::move(*value);
    return std::nullopt;
}

AXElement axElementAttribute(Accessibility& accessibility, const AXElement& element,
                             std::string_view name) {
    AXValue value = accessibility.copyAttributeValue(element, name);
    if (auto* child = std::get_if<AXElement>(&value)) return std::move(*child);
    return nullptr;
}

std::optional<std::string> axStringAttribute(Accessibility& accessibility, const AXElement& element,
                                             std::string_view name) {
    AXValue value = accessibility.copyAttributeValue(element, name);
    if (auto* text = std::get_if<std::string>(&value)) return std::move(*text);
    return std::nullopt;
}

std::vector<AXElement> axChildren(Accessibility& accessibility, const AXElement& element) {
    AXValue value = accessibility.copyAttributeValue(element, "AXChildren");
    if (auto* children = std::get_if<std::vector<AXElement>>(&value)) return std::move(*children);
    return {};
}

AXElement findWebArea(Accessibility& accessibility, const AXElement& root) {
    // A window that names the document it shows (a browser's selected tab) needs no search.
    if (root) {
        AXElement document = axElementAttribute(accessibility, root, "AXEmbeddedDocument");
        if (document && axStringAttribute(accessibility, document, "AXRole") == "AXWebArea")
            return document;
    }
    // Only elements within the budget are ever queued, so an exhausted queue also ends the
    // search when the budget is spent; children that could never be examined are not fetched.
    std::deque<std::pair<AXElement, int>> queue;
    queue.emplace_back(root, 0);
    std::size_t examined = 0;
    while (!queue.empty()) {
        auto [element, depth] = std::move(queue.front());
        queue.pop_front();
        ++examined;
        if (!element) continue;
        if (axStringAttribute(accessibility, element, "AXRole") == "AXWebArea") return element;
        if (depth >= webAreaChildDepthLimit) continue;
        if (examined + queue.size() >= webAreaElementLimit) continue;
        for (auto& child : axChildren(accessibility, element)) {
            queue.emplace_back(std::move(child), depth + 1);
            if (examined + queue.size() == webAreaElementLimit) break;
        }
    }
    return nullptr;
}

} // namespace helper
