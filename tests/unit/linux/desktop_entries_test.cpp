// Desktop entries found in temporary applications directories: precedence and masking,
// validity, localized names, key-file syntax, matching by rank and malformed trees.
#include "platform/linux/desktop/desktop_entries.h"
#include "platform/linux/desktop/desktop_key_file.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Sets or unsets one environment variable and restores it when it goes away.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string entryText(const std::string& name, const std::string& extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true\n" + extra;
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    /// The entry for a window of this class (and executable) as "id:name", or "-" for none.
    std::string found(const std::string& wmClass, std::optional<std::string> executable = {}) {
        const auto entry =
            DesktopEntries({high.string(), low.string()}).find({wmClass, wmClass, executable});
        return entry ? entry->id + ":" + entry->name : "-";
    }

    fs::path root = [] {
        char pattern[] = "/tmp/desktop-entries-XXXXXX";
        return fs::path(mkdtemp(pattern));
    }();
    fs::path high = root / "high" / "applications";
    fs::path low = root / "low" / "applications";
    // Languages come from the environment; every test starts without any.
    ScopedEnv lang{"LANG", nullptr}, language{"LANGUAGE", nullptr}, all{"LC_ALL", nullptr},
        messages{"LC_MESSAGES", nullptr};
};

TEST_F(DesktopEntriesTest, TheFirstDirectoryWithAnIdDecidesEvenWhenItsEntryIsInvalid) {
    write(high / "firefox-esr.desktop", entryText("Firefox ESR"));
    EXPECT_EQ(DesktopEntries({high.string()}).find({"Navigator", "Firefox-esr", {}})->id,
              "org.mozilla.firefox"); // lowercased class; the browser by its alias
    write(low / "app.desktop", entryText("Low", "StartupWMClass=AppWindow\n"));
    write(high / "app.desktop", entryText("High"));
    EXPECT_EQ(found("app"), "app:High");
    write(high / "app.desktop", entryText("High", "Hidden=true\n"));
    EXPECT_EQ(found("app") + found("AppWindow"), "--"); // masked in the scan too
    fs::remove(high / "app.desktop");
    fs::create_symlink(root / "missing", high / "app.desktop");
    EXPECT_EQ(found("app"), "-");
    fs::remove(high / "app.desktop");
    EXPECT_EQ(found("AppWindow"), "app:Low");
}

TEST_F(DesktopEntriesTest, OnlyApplicationsThatAreNotHiddenAndWhoseTryExecExistsAreValid) {
    const fs::path bin = root / "bin";
    write(bin / "tool", "#!/bin/sh\n");
    fs::permissions(bin / "tool", fs::perms::owner_all);
    write(bin / "plain", "data");
    const ScopedEnv path("PATH", bin.c_str());
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"nogroup", "Type=Application\nName=X\n", false},
        {"link", "[Desktop Entry]\nType=Link\nName=X\n", false},
        {"hidden", entryText("X", "Hidden=1\n"), false},
        {"tryabsent", entryText("X", "TryExec=/nonexistent/tool\n"), false},
        {"trynotexec", entryText("X", "TryExec=" + (bin / "plain").string() + "\n"), false},
        {"trydir", entryText("X", "TryExec=" + bin.string() + "\n"), false},
        {"trynotonpath", entryText("X", "TryExec=plain\n"), false},
        {"nodisplay", entryText("X", "NoDisplay=true\n"), true},
        {"hiddenfalse", entryText("X", "Hidden=false\n"), true},
        {"tryabsolute", entryText("X", "TryExec=" + (bin / "tool").string() + "\n"), true},
        {"tryonpath", entryText("X", "TryExec=tool\n"), true},
        {"tryempty", entryText("X", "TryExec=\n"), true},
    };
    for (const auto& [id, text, valid] : cases)
        write(high / (id + ".desktop"), text);
    for (const auto& [id, text, valid] : cases)
        EXPECT_EQ(found(id) != "-", valid) << id;
}

TEST_F(DesktopEntriesTest, NamesFollowTheSessionLanguages) {
    write(high / "app.desktop",
          entryText("Plain", "Name[de]=Deutsch\nName[de_AT]=Oesterreich\nName[pt_BR]=Brasil\n"
                             "Name[sr@latin]=Latinica\nName[fr]=\xff\xfe\nName[C]=Cee\n"));
    write(high / "unnamed.desktop", "[Desktop Entry]\nType=Application\n");
    // LANG, LANGUAGE, LC_ALL, LC_MESSAGES; name
    const std::array<const char*, 5> cases[] = {
        {"de_AT.UTF-8", nullptr, nullptr, nullptr, "Oesterreich"},
        {"de_CH.UTF-8", nullptr, nullptr, nullptr, "Deutsch"},
        {"C.UTF-8", "de", nullptr, nullptr, "Plain"},
        {"en_US.UTF-8", "it:pt_BR:de", nullptr, nullptr, "Brasil"},
        {"de_DE", nullptr, "sr_RS.UTF-8@latin", nullptr, "Latinica"},
        {"fr_FR", nullptr, nullptr, "de_AT", "Oesterreich"},
        {"fr_FR.UTF-8", nullptr, nullptr, nullptr, "Plain"}, // Name[fr] is not UTF-8
    };
    for (const auto& row : cases) {
        const ScopedEnv a("LANG", row[0]), b("LANGUAGE", row[1]), c("LC_ALL", row[2]),
            d("LC_MESSAGES", row[3]);
        EXPECT_EQ(found("app"), std::string("app:") + row[4])
            << (row[0] ? row[0] : "") << (row[1] ? row[1] : "");
    }
    EXPECT_EQ(found("unnamed"), "unnamed:unnamed");
}

TEST(DesktopEntryKeyFile, ReadsTheDesktopEntryGroupWithGKeyFileRules) {
    const auto file = DesktopKeyFile::parse("# comment\r\n\n[Desktop Entry]   \r\n"
                                            "  Name  =  \\sTwo\\tParts\\\\\\nEnd\\q  \r\n"
                                            "garbage line without equals\n=no key\n"
                                            "Exec=first\nExec=second\nHidden=true  \n"
                                            "[Desktop Action new]\nIcon=action\n"
                                            "[broken\nComment=lost\n"
                                            "[Desktop Entry]\nType=Application\nTrailing=\\");
    EXPECT_TRUE(file.startsWithDesktopEntry());
    EXPECT_EQ(file.string("Name"), " Two\tParts\\\nEnd\\q  ");
    EXPECT_EQ(file.string("Exec"), "second");
    EXPECT_TRUE(file.boolean("Hidden"));
    EXPECT_EQ(file.string("Icon"), std::nullopt);
    EXPECT_EQ(file.string("Comment"), std::nullopt);
    EXPECT_EQ(file.string("Type"), "Application");
    EXPECT_EQ(file.string("Trailing"), "");
    EXPECT_FALSE(DesktopKeyFile::parse("Key=before group\n[Desktop Entry]\n").string("Key"));
    EXPECT_FALSE(DesktopKeyFile::parse("[Other]\n[Desktop Entry]\n").startsWithDesktopEntry());
    EXPECT_FALSE(
        DesktopKeyFile::parse(std::string_view("\xff\x00\x01[\n=\n", 7)).startsWithDesktopEntry());
}

TEST_F(DesktopEntriesTest, TheScanRanksStartupWmClassThenReverseDnsThenExecutableThenOrder) {
    write(high / "byexec.desktop", entryText("By Exec", "Exec=  /usr/bin/viewer --new %U\n"));
    write(low / "org.example.Viewer.desktop", entryText("By Id"));
    write(low / "z.desktop", entryText("By Class", "StartupWMClass=viewer\n"));
    EXPECT_EQ(found("Viewer", "/opt/viewer/viewer"), "z:By Class");
    fs::remove(low / "z.desktop");
    EXPECT_EQ(found("Viewer", "/opt/viewer/viewer"), "org.example.Viewer:By Id");
    fs::remove(low / "org.example.Viewer.desktop");
    EXPECT_EQ(found("Window", "/opt/viewer/viewer"), "byexec:By Exec");
    EXPECT_EQ(found("Window", "/opt/viewer/other"), "-");
    // Interpreters name no application; names that merely begin like one do.
    write(high / "script.desktop", entryText("Script", "Exec=python3.11 /opt/script.py\n"));
    EXPECT_EQ(found("Window", "/usr/bin/python3.11"), "-");
    write(high / "shotwell.desktop", entryText("Photos", "Exec=shotwell\n"));
    EXPECT_EQ(found("Window", "/usr/bin/shotwell"), "shotwell:Photos");
    // Equal ranks go to the first directory, then the first name.
    write(low / "a.desktop", entryText("Low A", "StartupWMClass=Shared\n"));
    write(high / "c.desktop", entryText("High C", "StartupWMClass=Shared\n"));
    write(high / "b.desktop", entryText("High B", "StartupWMClass=SHARED\n"));
    EXPECT_EQ(found("shared"), "b:High B");
}

TEST_F(DesktopEntriesTest, SubdirectoriesGiveDashedIdsAndMalformedTreesNeitherCrashNorHang) {
    write(low / "kde4-foo.desktop", entryText("Low Flat"));
    write(high / "kde4" / "foo.desktop", entryText("High Nested"));
    write(high / "a" / "b" / "c.desktop", entryText("Deep", "StartupWMClass=DeepWindow\n"));
    write(high / "x" / "y-z.desktop", entryText("Plain Dir"));
    write(high / "huge.desktop",
          entryText("Huge", "StartupWMClass=HugeWindow\n") + std::string(3 << 20, 'x'));
    write(high / "empty.desktop", "");
    write(high / "binary.desktop", std::string("\0\xff\n[\n\xc3", 6));
    write(high / "notes.txt", entryText("Text File", "StartupWMClass=Notes\n"));
    fs::create_directories(high / "folder.desktop");
    fs::create_directory_symlink(high, high / "loop");
    ASSERT_EQ(mkfifo((high / "fifo.desktop").c_str(), 0600), 0);
    // WM_CLASS; the entry found
    const std::pair<const char*, const char*> cases[] = {
        {"kde4-foo", "kde4-foo:High Nested"},
        {"DeepWindow", "a-b-c:Deep"},
        {"x-y-z", "x-y-z:Plain Dir"},
        {"HugeWindow", "huge:Huge"},
        {"Notes", "-"},
        {"fifo", "-"},
        {"folder", "-"},
        {"loop-loop-a-b-c", "loop-loop-a-b-c:Deep"},
        {"loop-loop-loop-loop-loop-loop-loop-loop-loop-a-b-c", "-"},
        {"..-applications-huge", "-"},
    };
    for (const auto& [wmClass, expected] : cases)
        EXPECT_EQ(found(wmClass), expected) << wmClass;
    EXPECT_FALSE(DesktopEntries({high.string()}).find({"../high/applications/huge", "", {}}));
}

} // namespace
