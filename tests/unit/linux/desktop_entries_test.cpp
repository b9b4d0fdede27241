// Desktop entries found in temporary applications directories: precedence and masking,
// validity, localized names, key-file syntax, matching by rank and malformed trees.
#include "platform/linux/desktop_entries.h"
#include "platform/linux/desktop_key_file.h"
#include "platform/linux/locale_names.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
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
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        if (value)
            setenv(name_.c_str(), value->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

std::string entryText(const std::string& name, const std::string& extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true\n" + extra;
}

std::string nameOf(const std::optional<DesktopEntry>& entry) {
    return entry ? entry->name : "(no entry)";
}

std::string idOf(const std::optional<DesktopEntry>& entry) {
    return entry ? entry->id : "(no entry)";
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root.empty());
        fs::create_directories(high);
        fs::create_directories(low);
    }
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    DesktopEntries entries() const { return DesktopEntries({high.string(), low.string()}); }
    std::optional<DesktopEntry> findClass(const std::string& wmClass,
                                          std::optional<std::string> executable = {}) const {
        return entries().find({wmClass, wmClass, std::move(executable)});
    }

    static fs::path temporaryDirectory() {
        char pattern[] = "/tmp/desktop-entries-XXXXXX";
        return mkdtemp(pattern) != nullptr ? fs::path(pattern) : fs::path();
    }

    fs::path root = temporaryDirectory();
    fs::path high = root / "high" / "applications";
    fs::path low = root / "low" / "applications";
    // Languages come from the environment; every test starts without any.
    ScopedEnv language{"LANGUAGE", std::nullopt};
    ScopedEnv all{"LC_ALL", std::nullopt};
    ScopedEnv messages{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang{"LANG", std::nullopt};
};

TEST_F(DesktopEntriesTest, IdsEqualToTheWmClassAreFoundAndBrowsersKnownByTheirAliases) {
    write(high / "gedit.desktop", entryText("Text Editor"));
    write(high / "firefox-esr.desktop", entryText("Firefox ESR"));
    auto entry = entries().find({"gedit", "Gedit", std::nullopt});
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, "gedit");
    EXPECT_EQ(entry->name, "Text Editor");
    entry = entries().find({"Navigator", "Firefox-esr", std::nullopt}); // lowercased class
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, "org.mozilla.firefox");
    EXPECT_EQ(entry->name, "Firefox ESR");
    EXPECT_FALSE(findClass("unknown"));
}

TEST_F(DesktopEntriesTest, TheFirstDirectoryWithAnIdDecidesEvenWhenItsEntryIsInvalid) {
    write(low / "app.desktop", entryText("Low", "StartupWMClass=AppWindow\n"));
    write(high / "app.desktop", entryText("High"));
    EXPECT_EQ(nameOf(findClass("app")), "High");

    write(high / "app.desktop", entryText("High", "Hidden=true\n"));
    EXPECT_FALSE(findClass("app"));
    EXPECT_FALSE(findClass("AppWindow")); // masked in the scan too
    write(high / "app.desktop", "[Desktop Entry]\nType=Link\nName=High\n");
    EXPECT_FALSE(findClass("app"));
    fs::remove(high / "app.desktop");
    fs::create_symlink(root / "missing", high / "app.desktop");
    EXPECT_FALSE(findClass("app"));
    fs::remove(high / "app.desktop");
    EXPECT_EQ(nameOf(findClass("AppWindow")), "Low");
}

TEST_F(DesktopEntriesTest, OnlyApplicationsThatAreNotHiddenAndWhoseTryExecExistsAreValid) {
    const fs::path bin = root / "bin";
    write(bin / "tool", "#!/bin/sh\n");
    fs::permissions(bin / "tool", fs::perms::owner_all);
    write(bin / "plain", "data");
    fs::permissions(bin / "plain", fs::perms::owner_read | fs::perms::owner_write);
    const ScopedEnv path("PATH", bin.string());

    const std::tuple<std::string, std::string, bool> cases[] = {
        {"nogroup", "Type=Application\nName=X\n", false},
        {"othergroup", "[Desktop Action new]\nName=Y\n[Desktop Entry]\nType=Application\n", false},
        {"link", "[Desktop Entry]\nType=Link\nName=X\n", false},
        {"notype", "[Desktop Entry]\nName=X\n", false},
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
        EXPECT_EQ(findClass(id).has_value(), valid) << id;
}

TEST_F(DesktopEntriesTest, NamesFollowTheSessionLanguages) {
    write(high / "app.desktop",
          entryText("Plain", "Name[de]=Deutsch\nName[de_AT]=Oesterreich\nName[pt_BR]=Brasil\n"
                             "Name[sr@latin]=Latinica\nName[fr]=\xff\xfe\nName[C]=Cee\n"));
    write(high / "unnamed.desktop", "[Desktop Entry]\nType=Application\n");
    const auto nameWith = [&](std::vector<std::pair<std::string, std::string>> env) {
        std::vector<std::unique_ptr<ScopedEnv>> set;
        for (const auto& [name, value] : env)
            set.push_back(std::make_unique<ScopedEnv>(name, value));
        return nameOf(findClass("app"));
    };
    EXPECT_EQ(nameWith({}), "Plain");
    EXPECT_EQ(nameWith({{"LANG", "de_AT.UTF-8"}}), "Oesterreich");
    EXPECT_EQ(nameWith({{"LANG", "de_CH.UTF-8"}}), "Deutsch");
    EXPECT_EQ(nameWith({{"LANG", "C"}}), "Plain");
    EXPECT_EQ(nameWith({{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}), "Plain");
    EXPECT_EQ(nameWith({{"LANGUAGE", "de"}}), "Plain"); // no locale is the C locale
    EXPECT_EQ(nameWith({{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "it:pt_BR:de"}}), "Brasil");
    EXPECT_EQ(nameWith({{"LANG", "de_DE"}, {"LC_ALL", "sr_RS.UTF-8@latin"}}), "Latinica");
    EXPECT_EQ(nameWith({{"LANG", "fr_FR"}, {"LC_MESSAGES", "de_AT"}}), "Oesterreich");
    EXPECT_EQ(nameWith({{"LANG", "fr_FR.UTF-8"}}), "Plain"); // Name[fr] is not UTF-8
    EXPECT_EQ(nameOf(findClass("unnamed")), "unnamed");
}

TEST(DesktopEntryLocales, VariantsDropTheCodesetFromTheMostSpecificForm) {
    using V = std::vector<std::string>;
    EXPECT_EQ(locale_names::variantsOf("de_AT.UTF-8@euro"),
              (V{"de_AT@euro", "de_AT", "de@euro", "de"}));
    EXPECT_EQ(locale_names::variantsOf("pt_BR"), (V{"pt_BR", "pt"}));
    EXPECT_EQ(locale_names::variantsOf("ja.eucJP"), (V{"ja"}));
    EXPECT_EQ(locale_names::variantsOf(""), V{});
    EXPECT_EQ(locale_names::variantsOf("_US"), V{});
}

TEST(DesktopEntryKeyFile, ReadsTheDesktopEntryGroupWithGKeyFileRules) {
    const auto file = DesktopKeyFile::parse("# comment\r\n"
                                            "\n"
                                            "[Desktop Entry]   \r\n"
                                            "  Name  =  \\sTwo\\tParts\\\\\\nEnd\\q  \r\n"
                                            "garbage line without equals\n"
                                            "=no key\n"
                                            "Exec=first\n"
                                            "Exec=second\n"
                                            "Hidden=true  \n"
                                            "[Desktop Action new]\n"
                                            "Icon=action\n"
                                            "[broken\n"
                                            "Comment=lost\n"
                                            "[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Trailing=\\");
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

TEST_F(DesktopEntriesTest, TheScanRanksStartupWmClassThenReverseDnsThenExecutable) {
    write(high / "byexec.desktop", entryText("By Exec", "Exec=  /usr/bin/viewer --new %U\n"));
    write(low / "org.example.Viewer.desktop", entryText("By Id"));
    write(low / "z.desktop", entryText("By Class", "StartupWMClass=viewer\n"));
    EXPECT_EQ(nameOf(findClass("Viewer", "/opt/viewer/viewer")), "By Class");
    fs::remove(low / "z.desktop");
    EXPECT_EQ(idOf(findClass("Viewer", "/opt/viewer/viewer")), "org.example.Viewer");
    fs::remove(low / "org.example.Viewer.desktop");
    EXPECT_EQ(nameOf(findClass("Window", "/opt/viewer/viewer")), "By Exec");
    EXPECT_FALSE(findClass("Window", "/opt/viewer/other"));

    // Interpreters name no application; names that merely begin like one do.
    write(high / "script.desktop", entryText("Script", "Exec=python3.11 /opt/script.py\n"));
    EXPECT_FALSE(findClass("Window", "/usr/bin/python3.11"));
    write(high / "shotwell.desktop", entryText("Photos", "Exec=shotwell\n"));
    EXPECT_EQ(nameOf(findClass("Window", "/usr/bin/shotwell")), "Photos");
}

TEST_F(DesktopEntriesTest, EqualRanksGoToTheFirstDirectoryThenTheFirstName) {
    write(low / "a.desktop", entryText("Low A", "StartupWMClass=Shared\n"));
    write(high / "c.desktop", entryText("High C", "StartupWMClass=Shared\n"));
    write(high / "b.desktop", entryText("High B", "StartupWMClass=SHARED\n"));
    EXPECT_EQ(nameOf(findClass("shared")), "High B");
    write(high / "b.desktop", entryText("High B", "Exec=/usr/bin/shared\n"));
    write(high / "c.desktop", entryText("High C", "Exec=/usr/bin/shared\n"));
    EXPECT_EQ(nameOf(findClass("Other", "/usr/bin/shared")), "High B");
    // A better rank in a later directory still wins.
    write(low / "org.example.Other.desktop", entryText("Low Other"));
    EXPECT_EQ(nameOf(findClass("Other", "/usr/bin/shared")), "Low Other");
}

TEST_F(DesktopEntriesTest, SubdirectoriesGiveDashedIds) {
    write(low / "kde4-foo.desktop", entryText("Low Flat"));
    write(high / "kde4" / "foo.desktop", entryText("High Nested"));
    write(high / "a" / "b" / "c.desktop", entryText("Deep", "StartupWMClass=DeepWindow\n"));
    write(high / "x-y" / "z.desktop", entryText("Dashed Dir"));
    write(high / "x" / "y-z.desktop", entryText("Plain Dir"));
    auto entry = findClass("kde4-foo");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, "kde4-foo");
    EXPECT_EQ(entry->name, "High Nested");
    EXPECT_EQ(nameOf(findClass("a-b-c")), "Deep");
    EXPECT_EQ(idOf(findClass("DeepWindow")), "a-b-c");
    EXPECT_EQ(nameOf(findClass("x-y-z")), "Plain Dir");
    write(high / "x-y-z.desktop", entryText("Flat"));
    EXPECT_EQ(nameOf(findClass("x-y-z")), "Flat");
}

TEST_F(DesktopEntriesTest, MalformedTreesAndFilesNeitherCrashNorHang) {
    std::string huge = entryText("Huge", "StartupWMClass=HugeWindow\n");
    huge += std::string(3 << 20, 'x');
    write(high / "huge.desktop", huge);
    write(high / "empty.desktop", "");
    write(high / "binary.desktop", std::string("\0\xff\n[\n\xc3", 6));
    write(high / "notes.txt", entryText("Text File", "StartupWMClass=Notes\n"));
    write(high / "other" / "a.desktop", entryText("Other", "StartupWMClass=OtherWindow\n"));
    fs::create_directories(high / "folder.desktop");
    fs::create_directory_symlink(high, high / "loop");
    ASSERT_EQ(mkfifo((high / "fifo.desktop").c_str(), 0600), 0);

    EXPECT_EQ(nameOf(findClass("HugeWindow")), "Huge");
    EXPECT_FALSE(findClass("Notes"));
    EXPECT_FALSE(findClass("fifo"));
    EXPECT_FALSE(findClass("folder"));
    EXPECT_EQ(idOf(findClass("OtherWindow")), "other-a");
    EXPECT_EQ(nameOf(findClass("loop-loop-other-a")), "Other");
    EXPECT_FALSE(findClass("loop-loop-loop-loop-loop-loop-loop-loop-loop-other-a"));
    EXPECT_FALSE(entries().find({"../high/applications/huge", "", std::nullopt}));
    EXPECT_FALSE(findClass("..-applications-huge"));
}

TEST_F(DesktopEntriesTest, AnswersAreRememberedForTheLifeOfTheObject) {
    write(high / "app.desktop", entryText("App"));
    DesktopEntries remembering({high.string()});
    EXPECT_TRUE(remembering.find({"app", "App", std::nullopt}));
    fs::remove(high / "app.desktop");
    EXPECT_TRUE(remembering.find({"app", "App", std::nullopt}));
    EXPECT_FALSE(remembering.find({"app", "App", "/bin/app"}));
}

TEST(DesktopEntriesEnvironment, ApplicationDirsFollowXdgAndIgnoreRelativePaths) {
    using V = std::vector<std::string>;
    const ScopedEnv home("HOME", "/home/user");
    {
        const ScopedEnv dataHome("XDG_DATA_HOME", "/data/home/");
        const ScopedEnv dataDirs("XDG_DATA_DIRS", "/opt/share:relative:/usr/share::/opt/share");
        EXPECT_EQ(
            DesktopEntries::applicationDirsOfEnvironment(),
            (V{"/data/home/applications", "/opt/share/applications", "/usr/share/applications"}));
    }
    const ScopedEnv dataHome("XDG_DATA_HOME", "relative/home");
    const ScopedEnv dataDirs("XDG_DATA_DIRS", std::nullopt);
    EXPECT_EQ(DesktopEntries::applicationDirsOfEnvironment(),
              (V{"/home/user/.local/share/applications", "/usr/local/share/applications",
                 "/usr/share/applications"}));
}

} // namespace
