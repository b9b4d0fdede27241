// Pure rules of the Linux helper ports: window layers and names, icon file choice, bands.
#include "platform/linux/desktop/browser_desktop_ids.h"
#include "platform/linux/desktop/desktop_icon_source.h"
#include "platform/linux/text/tesseract_recognizer.h"
#include "platform/linux/x11/x11_window_list.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

TEST(WindowLayer, OrdinaryAndDialogWindowsAreLayerZeroOthersAreNot) {
    using V = std::vector<std::string>;
    const std::string type = "_NET_WM_WINDOW_TYPE_";
    const std::tuple<V, bool, std::optional<std::int64_t>> cases[] = {
        {{}, false, 0},
        {{type + "DIALOG"}, false, 0},
        {{type + "DOCK"}, false, window_layer::dock},
        {{type + "POPUP_MENU"}, false, window_layer::popUpMenu},
        {{type + "SPLASH"}, false, window_layer::floating},
        {{type + "NORMAL"}, true, window_layer::floating},
        {{type + "DOCK"}, true, window_layer::dock},
        // The first known type counts; unknown vendor types are skipped.
        {{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", type + "UTILITY"}, false, window_layer::utility},
        {{type + "DESKTOP"}, false, std::nullopt},
    };
    for (const auto& [types, above, layer] : cases)
        EXPECT_EQ(windowLayer(types, above), layer) << (types.empty() ? "" : types.back());
}

TEST(WindowNameText, ConvertsLatin1AndRepairsBrokenUtf8) {
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"caf\xe9", true, "caf\xc3\xa9"},
        {"東京", false, "東京"},
        {"a\xff\x62\xe6\x9d", false, "a\xef\xbf\xbd\x62\xef\xbf\xbd\xef\xbf\xbd"},
    };
    for (const auto& [name, latin1, text] : cases)
        EXPECT_EQ(windowNameText(name, latin1), text) << name;
}

// Icons of browsers from distribution packages are found under the package's desktop id.
TEST(IconFiles, NamesStayInTheThemeAndTheBestFileIsScalableThenLargeEnoughThenLargest) {
    EXPECT_EQ(browser_ids::desktopIdsOf("org.mozilla.firefox"),
              (std::vector<std::string_view>{"org.mozilla.firefox", "firefox-esr", "firefox"}));
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("icons-" + std::to_string(::getpid()));
    fs::create_directories(root / "icons/hicolor/48x48/apps");
    std::ofstream(root / "icons/hicolor/48x48/apps/demo.png") << "x";
    EXPECT_EQ(themeIconFiles("demo", {root / "icons"}, {}).size(), 1u);
    EXPECT_TRUE(themeIconFiles("../48x48/apps/demo", {root / "icons"}, {}).empty());
    fs::remove_all(root);
    std::vector<IconFile> bitmaps{{"a16", false, 16}, {"a128", false, 128}, {"a48", false, 48}};
    EXPECT_EQ(bestIconFile({{"a16", false, 16}, {"a48", false, 48}}, 64)->path, "a48");
    EXPECT_EQ(bestIconFile(bitmaps, 64)->path, "a128");
    bitmaps.push_back({"s", true, 0});
    EXPECT_EQ(bestIconFile(bitmaps, 64)->path, "s");
    EXPECT_FALSE(bestIconFile({}, 64));
}

using Bands = std::vector<std::pair<std::int64_t, std::int64_t>>;

/// The bands of an image 20 pixels wide whose rows are inked where `rows` has an 'x'.
Bands bands(std::string_view rows, int count) {
    GreyImage image{20, static_cast<std::int64_t>(rows.size()), {}};
    for (char row : rows)
        for (int x = 0; x < 20; ++x)
            image.pixels.push_back(row == 'x' && x % 2 ? 0 : 255);
    Bands out;
    for (const auto& band : splitAtBlankRows(image, count))
        out.emplace_back(band.top, band.bottom);
    return out;
}

TEST(SplitAtBlankRows, CutsTheBlankRunNearestTheInkMidpointNeverInkAndDropsEmptyImages) {
    // Ink rows 5…14 and 25…34: the gap 15…24 is cut at its middle.
    EXPECT_EQ(bands("-----xxxxxxxxxx----------xxxxxxxxxx-----", 2), (Bands{{0, 19}, {19, 40}}));
    EXPECT_EQ(bands("---xxxxxxxxxxxxxxxxxxxx---", 2).size(), 1u);
    EXPECT_TRUE(bands(std::string(30, '-'), 2).empty());
    EXPECT_EQ(bands("xx--xx", 1), (Bands{{0, 6}}));
}

} // namespace
