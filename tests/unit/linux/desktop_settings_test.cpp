// Parsing of the desktop's published settings: XSETTINGS blobs and the resource database.
#include "platform/linux/x11/desktop_settings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

/// An _XSETTINGS_SETTINGS blob in either byte order: a string, a colour and an integer.
std::vector<std::uint8_t> blob(bool bigEndian) {
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(bigEndian), 0, 0, 0};
    const auto card = [&](std::uint32_t value, int width) {
        for (int k = 0; k < width; ++k)
            out.push_back(static_cast<std::uint8_t>(value >> 8 * (bigEndian ? width - 1 - k : k)));
    };
    const auto padded = [&](std::string_view text) {
        out.insert(out.end(), text.begin(), text.end());
        out.resize((out.size() + 3) / 4 * 4);
    };
    const auto head = [&](std::uint8_t type, std::string_view name) {
        out.insert(out.end(), {type, 0});
        card(static_cast<std::uint32_t>(name.size()), 2);
        padded(name);
        card(3, 4); // last-change serial
    };
    card(7, 4); // serial
    card(3, 4); // settings
    head(1, "Net/ThemeName");
    card(7, 4);
    padded("Adwaita");
    head(2, "Gtk/Color");
    padded(std::string(8, '\xab')); // four CARD16 in either order
    head(0, "Net/DoubleClickTime");
    card(250, 4);
    return out;
}

TEST(XSettings, ReadsIntegersAndStringsInBothByteOrdersAndRefusesTruncatedOrUnknownData) {
    for (bool big : {false, true}) {
        const auto settings = desktop::parseXSettings(blob(big));
        ASSERT_TRUE(settings.has_value()) << big;
        EXPECT_EQ(settings->integers,
                  (std::map<std::string, std::int32_t>{{"Net/DoubleClickTime", 250}}));
        EXPECT_EQ(settings->strings.at("Net/ThemeName"), "Adwaita");
    }
    const auto whole = blob(false);
    for (std::size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_FALSE(desktop::parseXSettings({whole.data(), cut}).has_value()) << cut;
    auto unknownType = whole;
    unknownType[12] = 9;
    EXPECT_FALSE(desktop::parseXSettings(unknownType));
}

TEST(Resources, AnExactNameGivesTheBackingScaleAfterTheWindowScale) {
    const std::string database = "Xft.antialias:\t1\nXft.dpiScale: 3\nXft.dpi:\t192 \n";
    EXPECT_EQ(desktop::resourceValue(database, "Xft.dpi"), "192");
    EXPECT_EQ(desktop::resourceValue(database, "Xft.rgba"), std::nullopt);
    EXPECT_EQ(desktop::resourceValue("Xft.dpi", "Xft.dpi"), std::nullopt); // no colon
    // window scale; Xft.dpi; scale. Fractional DPI scales fonts only.
    const std::tuple<std::optional<std::int32_t>, std::optional<std::string>, double> cases[] = {
        {{}, {}, 1},   {2, "96", 2},    {{}, "288", 3}, {{}, "120", 1},
        {{}, "72", 1}, {{}, "lots", 1}, {0, "192", 2},
    };
    for (const auto& [window, dpi, scale] : cases)
        EXPECT_EQ(desktop::backingScale(window, dpi), scale) << dpi.value_or("-");
}

} // namespace
