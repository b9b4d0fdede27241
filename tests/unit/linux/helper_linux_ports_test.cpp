// Pure rules of the Linux helper ports: window layers and names, icon file choice, bands.
#include "platform/linux/desktop_icon_source.h"
#include "platform/linux/tesseract_recognizer.h"
#include "platform/linux/x11_window_list.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

TEST(WindowLayer, OrdinaryAndDialogWindowsAreLayerZeroOthersAreNot) {
    using V = std::vector<std::string>;
    EXPECT_EQ(windowLayer(V{}, false), 0);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_NORMAL"}, false), 0);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_DIALOG"}, false), 0);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_DOCK"}, false), window_layer::dock);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_POPUP_MENU"}, false), window_layer::popUpMenu);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_SPLASH"}, false), window_layer::floating);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_NORMAL"}, true), window_layer::floating);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_DOCK"}, true), window_layer::dock);
    // The first known type counts; unknown vendor types are skipped.
    EXPECT_EQ(
        windowLayer(V{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_UTILITY"}, false),
        window_layer::utility);
    EXPECT_EQ(windowLayer(V{"_NET_WM_WINDOW_TYPE_DESKTOP"}, false), std::nullopt);
}

TEST(WindowNameText, ConvertsLatin1AndRepairsBrokenUtf8) {
    EXPECT_EQ(windowNameText("caf\xe9", true), "caf\xc3\xa9");
    EXPECT_EQ(windowNameText("東京", false), "東京");
    EXPECT_EQ(windowNameText("a\xff"
                             "b\xe6\x9d",
                             false),
              "a\xef\xbf\xbd"
              "b\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(windowNameText("\xed\xa0\x80", false), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(windowNameText("", false), "");
}

TEST(BestIconFile, PrefersScalableThenSmallestLargeEnoughThenLargest) {
    const std::vector<IconFile> bitmaps{
        {"a16", false, 16}, {"a128", false, 128}, {"a256", false, 256}, {"a48", false, 48}};
    EXPECT_EQ(bestIconFile(bitmaps, 64)->path, "a128");
    EXPECT_EQ(bestIconFile({{"a16", false, 16}, {"a48", false, 48}}, 64)->path, "a48");
    auto withSvg = bitmaps;
    withSvg.push_back({"s", true, 0});
    EXPECT_EQ(bestIconFile(withSvg, 64)->path, "s");
    EXPECT_FALSE(bestIconFile({}, 64));
}

TEST(ThemeIconFiles, FindsSizedAndScalableFilesOfTheFirstThemeThatHasThem) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("icons-" + std::to_string(::getpid()));
    auto touch = [&](const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    };
    touch(root / "icons/hicolor/48x48/apps/demo.png");
    touch(root / "icons/hicolor/32x32@2/apps/demo.png");
    touch(root / "icons/hicolor/scalable/apps/demo.svg");
    touch(root / "icons/hicolor/symbolic/apps/demo.png"); // not a size directory
    touch(root / "icons/Adwaita/64x64/apps/demo.png");    // a later theme
    touch(root / "pixmaps/other.png");
    const auto files = themeIconFiles("demo", {root / "icons"}, {root / "pixmaps"});
    EXPECT_EQ(files.size(), 3u);
    std::int64_t sizes = 0;
    for (const auto& file : files)
        sizes += file.scalable ? 1000 : file.size;
    EXPECT_EQ(sizes, 48 + 64 + 1000);
    EXPECT_EQ(themeIconFiles("other", {root / "icons"}, {root / "pixmaps"}).size(), 1u);
    EXPECT_TRUE(themeIconFiles("../demo", {root / "icons"}, {}).empty());
    fs::remove_all(root);
}

GreyImage stripes(std::initializer_list<std::pair<int, bool>> runs, std::int64_t width = 20) {
    GreyImage image;
    image.width = width;
    for (const auto& [rows, inked] : runs) {
        for (int r = 0; r < rows; ++r) {
            for (std::int64_t x = 0; x < width; ++x)
                image.pixels.push_back(inked && x % 2 ? 0 : 255);
            ++image.height;
        }
    }
    return image;
}

TEST(SplitAtBlankRows, CutsInTheMiddleOfTheBlankRunNearestTheInkMidpoint) {
    // Ink rows: 10 at 5…14 and 10 at 25…34; the gap 15…24 is cut at its middle.
    const auto bands =
        splitAtBlankRows(stripes({{5, false}, {10, true}, {10, false}, {10, true}, {5, false}}), 2);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].top, 0);
    EXPECT_EQ(bands[0].bottom, 19);
    EXPECT_EQ(bands[1].top, 19);
    EXPECT_EQ(bands[1].bottom, 40);
}

TEST(SplitAtBlankRows, NeverCutsThroughInkAndDropsEmptyImages) {
    EXPECT_EQ(splitAtBlankRows(stripes({{3, false}, {20, true}, {3, false}}), 2).size(), 1u);
    EXPECT_TRUE(splitAtBlankRows(stripes({{30, false}}), 2).empty());
    const auto one = splitAtBlankRows(stripes({{2, true}, {2, false}, {2, true}}), 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].bottom, 6);
}

} // namespace
