// The screen of what was typed or copied: what it holds, across the forms an application
// shows text in, and what it must not hold.
#include "common/utf8.h"
#include "recorder/record_screening.h"
#include "recorder/typed_text_screen.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr std::string_view backspace = "\x7F";
constexpr std::string_view left = "\xEF\x9C\x82";  // U+F702
constexpr std::string_view right = "\xEF\x9C\x83"; // U+F703
constexpr std::string_view home = "\xEF\x9C\xA9";  // U+F729

/// One key press per character of each of `keys`.
void press(TypedTextScreen& screen, const std::vector<std::string_view>& keys) {
    for (std::string_view key : keys) {
        for (std::size_t at = 0; at < key.size();) {
            const std::size_t length = text::utf8::decode(key, at).length;
            screen.type(key.substr(at, length));
            at += length;
        }
    }
}

TEST(TypedTextScreen, HoldsWhatTheKeysLeftInAnyCaseAndFormButNotOtherText) {
    const struct {
        std::vector<std::string_view> keys;
        bool breakAfter;
        std::vector<std::pair<std::string, bool>> texts; ///< text, held
    } cases[] = {
        {{"Secret42"},
         false,
         {{"my SECRET42 notes", true},
          {"ＳＥＣＲＥＴ", true}, // full width
          {"s e c r e t", false}, // spaced apart
          {"Secre", true},        // five characters are enough
          {"Secr", false},        // four are not, while the line goes on
          {"Unrelated label", false}}},
        {{"Stra", "\xC3\x9F", "e9"}, false, {{"STRASSE9", true}}}, // ß folds to ss
        {{"secrex", backspace, "t"}, false, {{"a secret", true}, {"ecrex", true}}},
        {{"secrt", left, "e"}, false, {{"secret", true}, {"ecret", true}}},
        {{"abc", home, "xyz12"}, false, {{"xyz12", true}, {"abcxyz12", true}, {"bcxyz", false}}},
        {{"ab", right, "cdefg"}, false, {{"bcdef", false}, {"cdefg", true}}},
        {{"two  spaces"}, false, {{"Two spaces", true}, {"twosp", false}}},
        {{"ab7"},
         true,
         {{"ab7", true},
          {"ab7 — Text Editor", true},
          {"*AB7", true},
          {"xab7", false},
          {"ab 7", false}}},
        {{"ab7"}, false, {{"ab7", false}}}, // an entry counts once it ends
        {{"x"}, true, {{"x", false}}},      // one character is no entry
        {{"hello", "\r", "wor"}, true, {{"hello world", true}, {"wor", true}, {"ello w", false}}},
    };
    for (const auto& [keys, breakAfter, texts] : cases) {
        TypedTextScreen screen({1, 2});
        press(screen, keys);
        if (breakAfter) screen.breakEntry();
        for (const auto& [text, held] : texts)
            EXPECT_EQ(screen.holds(text), held) << keys.front() << " / " << text;
    }
}

TEST(TypedTextScreen, CopiedTextIsHeldByPiecesAndShortLinesUpToItsLimit) {
    TypedTextScreen screen({3, 4});
    std::string copied = "first line of it\nok\n";
    copied += std::string(TypedTextScreen::copiedCharacterLimit, 'x') + "TAILpiece";
    screen.copied(copied);
    EXPECT_TRUE(screen.holds("The First Line"));
    EXPECT_TRUE(screen.holds("OK"));
    EXPECT_FALSE(screen.holds("tailpiece")); // beyond the limit
}

TEST(TypedTextScreen, KeepsNoCharacterOnceTheLineBreaks) {
    TypedTextScreen screen(TypedTextScreen::freshKey());
    press(screen, {"Qz9Canary"});
    std::u32string canary = U"qz9canary";
    const auto* bytes = reinterpret_cast<const char*>(&screen);
    const std::string_view memory(bytes, sizeof screen);
    const std::string_view folded(reinterpret_cast<const char*>(canary.data()), 4 * canary.size());
    EXPECT_NE(memory.find(folded.substr(0, 12)), std::string_view::npos); // the line, held
    screen.breakEntry();
    EXPECT_EQ(memory.find(folded.substr(0, 12)), std::string_view::npos);
    EXPECT_TRUE(screen.holds("Qz9Canary"));
}

TEST(TypedTextScreen, EachScreenDrawsAKeyOfItsOwn) {
    const siphash::Key first = TypedTextScreen::freshKey();
    const siphash::Key second = TypedTextScreen::freshKey();
    EXPECT_FALSE(first.k0 == second.k0 && first.k1 == second.k1);
}

// Labels of an ordinary desktop after a paragraph of prose was typed: only those that share
// five characters in a row with it, beginning and ending inside words, are held.
TEST(TypedTextScreen, FalseMatchesNeedFiveCharactersInARow) {
    TypedTextScreen screen({9, 10});
    press(screen, {"Please find the quarterly figures attached; call me before Friday."});
    screen.breakEntry();
    const std::vector<std::pair<std::string, bool>> labels = {
        {"File", false},   {"Edit", false},         {"View", false},
        {"Help", false},   {"Save", false},         {"Open…", false},
        {"Find", false},   {"Attach", true},        {"Call", false},
        {"Quit", false},   {"Figure 1", true},      {"Print Preview", false},
        {"Format", false}, {"Before you go", true}, {"Go to the end", false},
    };
    for (const auto& [label, held] : labels)
        EXPECT_EQ(screen.holds(label), held) << label;
}

// A line still shorter than a piece is held once a text read while it was typed showed it as
// whole words (a title following a search field), and only then.
TEST(TypedTextScreen, AShortLineIsHeldWhereATextReadWhileItWasTypedShowedIt) {
    const struct {
        std::string_view typedFirst, shownMeanwhile, typedThen, laterText;
        bool held;
    } cases[] = {
        {"Zqx", "Find zqx - Browser", "Wvut", "Find ZQX", true},
        {"Zqx", "http://host/find/zqx", "Wvut", "/find/zqx?page=2", true},
        {"Zqx", "Find zqxw - Browser", "Wvut", "Find zqx", false}, // not a whole word
        {"the", "Read the news", " report", "Read the news", true},
        {"the", "Editor", " report", "Read the news", false}, // the words never showed
        {"Z", "Find z", "qxWvut", "Find z", false},           // a character is no entry
    };
    for (const auto& c : cases) {
        TypedTextScreen screen({11, 12});
        press(screen, {c.typedFirst});
        screen.holdLineShownIn(c.shownMeanwhile);
        press(screen, {c.typedThen});
        screen.breakEntry();
        EXPECT_EQ(screen.holds(c.laterText), c.held) << c.shownMeanwhile;
    }
}

TEST(RecordScreening, AddressesLoseWhatWasTypedAndTextsThatShowItAreWithheld) {
    TypedTextScreen typed({11, 12});
    press(typed, {"Qsecret"});
    typed.breakEntry();
    using record_screening::screenedAddress;
    EXPECT_EQ(screenedAddress("https://u:p@example.com/search?q=Qsecret#r", typed),
              "https://example.com/search?q=");
    EXPECT_EQ(screenedAddress("https://example.com:8443/wiki/QSECRET?x=1", typed),
              "https://example.com:8443");
    EXPECT_EQ(screenedAddress("about:qsecret", typed), std::nullopt);
    EXPECT_EQ(screenedAddress("file:///home/ann/report.txt", typed), "file:///home/ann/report.txt");

    ActionRecord record;
    record.url = "https://qsecret.example/";
    record.target = AXTarget{};
    record.target->label = "Results for Qsecret";
    record.target->identifier = "see https://x.example/?q=Qsecret";
    record.target->windowTitle = "Untitled";
    record.target->nearbyText = {"qsecret", "Search"};
    record_screening::screen(record, typed);
    EXPECT_EQ(record.url, "https://qsecret.example/"); // the host is where the person went
    EXPECT_EQ(record.target->label, "(withheld)");
    EXPECT_EQ(record.target->identifier, "see https://x.example/?q=");
    EXPECT_EQ(record.target->windowTitle, "Untitled");
    EXPECT_EQ(record.target->nearbyText, (std::vector<std::string>{"(withheld)", "Search"}));

    FocusRecord dwell;
    dwell.windowTitle = "Qsecret – Text Editor";
    dwell.url = "https://example.com/?q=Qsecret";
    record_screening::screen(dwell, typed);
    EXPECT_EQ(dwell.windowTitle, "(withheld)");
    EXPECT_EQ(dwell.url, "https://example.com/?q=");
}

// A typing run's record was read once its first keys were in: what follows the field shows
// them, however few.
TEST(RecordScreening, ARunsOwnTitleAndAddressLoseTheBeginningItsFirstKeysMade) {
    const struct {
        std::string_view title, url, typedTitle, typedUrl;
    } cases[] = {
        {"z (Draft) - Text Editor", "http://h:8/find/z", "(withheld)", "http://h:8"},
        {"Find ZQX - Browser", "http://h:8/find/zqx?page=2", "(withheld)", "http://h:8"},
        {"Fizz - Browser", "http://h:8/fizz/zqa", "Fizz - Browser", "http://h:8/fizz/zqa"},
        {"Tour form - Browser", "http://h:8/form.html", "Tour form - Browser",
         "http://h:8/form.html"},
    };
    for (const auto& c : cases) {
        ActionRecord record;
        record.url = std::string(c.url);
        record.target = AXTarget{};
        record.target->windowTitle = std::string(c.title);
        record_screening::screenRunStart(record, " zqxGteFrstk");
        EXPECT_EQ(std::tuple(record.target->windowTitle, record.url),
                  std::tuple(std::string(c.typedTitle), std::string(c.typedUrl)));
    }
}

} // namespace
