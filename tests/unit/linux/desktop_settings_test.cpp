// Parsing of the desktop's published settings: XSETTINGS blobs and the resource database.
#include "platform/linux/desktop_settings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Builds an _XSETTINGS_SETTINGS blob in either byte order.
class Blob {
public:
    explicit Blob(bool bigEndian) : big_(bigEndian) {
        bytes_ = {static_cast<std::uint8_t>(bigEndian ? 1 : 0), 0, 0, 0};
        card(7, 4); // serial
        countAt_ = bytes_.size();
        card(0, 4);
    }
    Blob& integer(const std::string& name, std::int32_t value) {
        head(0, name);
        card(static_cast<std::uint32_t>(value), 4);
        return *this;
    }
    Blob& string(const std::string& name, const std::string& value) {
        head(1, name);
        card(static_cast<std::uint32_t>(value.size()), 4);
        padded(value);
        return *this;
    }
    Blob& colour(const std::string& name) {
        head(2, name);
        for (int i = 0; i < 8; ++i)
            bytes_.push_back(0xAB);
        return *this;
    }
    std::vector<std::uint8_t> bytes() const {
        auto out = bytes_;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t shift = big_ ? 8 * (3 - k) : 8 * k;
            out[countAt_ + k] = static_cast<std::uint8_t>(count_ >> shift);
        }
        return out;
    }

private:
    void head(std::uint8_t type, const std::string& name) {
        ++count_;
        bytes_.push_back(type);
        bytes_.push_back(0);
        card(static_cast<std::uint32_t>(name.size()), 2);
        padded(name);
        card(3, 4); // last-change serial
    }
    void card(std::uint32_t value, std::size_t width) {
        for (std::size_t k = 0; k < width; ++k) {
            const std::size_t shift = big_ ? 8 * (width - 1 - k) : 8 * k;
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void padded(const std::string& text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }

    bool big_;
    std::vector<std::uint8_t> bytes_;
    std::size_t countAt_ = 0;
    std::uint32_t count_ = 0;
};

TEST(XSettings, ReadsIntegersAndStringsInBothByteOrders) {
    for (bool big : {false, true}) {
        const auto bytes = Blob(big)
                               .string("Net/ThemeName", "Adwaita")
                               .colour("Gtk/Color")
                               .integer("Net/DoubleClickTime", 250)
                               .integer("Gdk/WindowScalingFactor", 2)
                               .bytes();
        const auto settings = desktop::parseXSettings(bytes);
        ASSERT_TRUE(settings.has_value()) << big;
        EXPECT_EQ(settings->integers.at("Net/DoubleClickTime"), 250);
        EXPECT_EQ(settings->integers.at("Gdk/WindowScalingFactor"), 2);
        EXPECT_EQ(settings->strings.at("Net/ThemeName"), "Adwaita");
        EXPECT_FALSE(settings->integers.contains("Gtk/Color"));
    }
}

TEST(XSettings, RefusesTruncatedOrUnknownData) {
    const auto whole = Blob(false).string("Net/ThemeName", "Adwaita").bytes();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + cut);
        EXPECT_FALSE(desktop::parseXSettings(part).has_value()) << cut;
    }
    auto unknownType = Blob(false).integer("A", 1).bytes();
    unknownType[12] = 9;
    EXPECT_FALSE(desktop::parseXSettings(unknownType).has_value());
    auto hugeCount = Blob(false).bytes();
    hugeCount[8] = 0xff; // claims 255 settings, holds none
    EXPECT_FALSE(desktop::parseXSettings(hugeCount).has_value());
}

TEST(Resources, FindsAnExactNameAndTrimsItsValue) {
    const std::string database = "Xft.antialias:\t1\nXft.dpiScale: 3\nXft.dpi:\t192 \n";
    EXPECT_EQ(desktop::resourceValue(database, "Xft.dpi"), "192");
    EXPECT_EQ(desktop::resourceValue(database, "Xft.antialias"), "1");
    EXPECT_EQ(desktop::resourceValue(database, "Xft.rgba"), std::nullopt);
    EXPECT_EQ(desktop::resourceValue("", "Xft.dpi"), std::nullopt);
    EXPECT_EQ(desktop::resourceValue("Xft.dpi", "Xft.dpi"), std::nullopt); // no colon
}

TEST(BackingScale, PrefersTheWindowScaleThenWholeMultiplesOf96Dpi) {
    EXPECT_EQ(desktop::backingScale(std::nullopt, std::nullopt), 1);
    EXPECT_EQ(desktop::backingScale(2, std::string("96")), 2);
    EXPECT_EQ(desktop::backingScale(std::nullopt, std::string("192")), 2);
    EXPECT_EQ(desktop::backingScale(std::nullopt, std::string("288")), 3);
    // Fractional DPI scales fonts only; windows stay at one pixel per point.
    EXPECT_EQ(desktop::backingScale(std::nullopt, std::string("120")), 1);
    EXPECT_EQ(desktop::backingScale(std::nullopt, std::string("72")), 1);
    EXPECT_EQ(desktop::backingScale(std::nullopt, std::string("lots")), 1);
    EXPECT_EQ(desktop::backingScale(0, std::string("192")), 2);
}

} // namespace
