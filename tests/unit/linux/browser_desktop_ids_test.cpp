#include "helper/browser_url.h"
#include "platform/linux/browser_desktop_ids.h"

#include <algorithm>
#include <gtest/gtest.h>

TEST(BrowserDesktopIds, DistributionPackagesAreKnownByTheirBrowsersIds) {
    EXPECT_EQ(browser_ids::bundleIdOf("firefox-esr"), "org.mozilla.firefox");
    EXPECT_EQ(browser_ids::bundleIdOf("chromium"), "org.chromium.Chromium");
    EXPECT_EQ(browser_ids::bundleIdOf("org.gnome.TextEditor"), "org.gnome.TextEditor");
    EXPECT_EQ(browser_ids::bundleIdOf(""), "");
}

TEST(BrowserDesktopIds, EveryAliasNamesABrowserTheLookupKnows) {
    for (const auto& [desktop, bundle] : browser_ids::aliases) {
        const bool chromium =
            std::any_of(helper::chromiumBundleIds.begin(), helper::chromiumBundleIds.end(),
                        [&](const auto& browser) { return browser.bundleId == bundle; });
        EXPECT_TRUE(chromium || helper::isFirefoxBundle(bundle)) << desktop;
    }
}

TEST(BrowserDesktopIds, IconLookupTriesTheIdThenItsDistributionNames) {
    const auto ids = browser_ids::desktopIdsOf("org.mozilla.firefox");
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0], "org.mozilla.firefox");
    EXPECT_EQ(ids[1], "firefox-esr");
    EXPECT_EQ(ids[2], "firefox");
    EXPECT_EQ(browser_ids::desktopIdsOf("org.example.App").size(), 1u);
}
