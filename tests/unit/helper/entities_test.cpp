// Named entities: tag to kind, trimming, length and digit filters, de-duplication, order.
#include "helper/ocr.h"
#include "tests/fakes/fake_name_tagger.h"

#include <gtest/gtest.h>

namespace helper {
namespace {

TEST(DetectEntities, KeepsTrimmedNamesOfTwoCharactersOrMoreOncePerKindInOrderOfAppearance) {
    using Found = std::vector<std::pair<std::string, std::string>>;
    constexpr auto person = NameTag::personalName;
    constexpr auto organization = NameTag::organizationName;
    constexpr auto place = NameTag::placeName;
    const struct {
        std::vector<std::vector<NameToken>> lines;
        Found found;
    } cases[] = {
        {{{{"山田太郎", person},
           {"Acme Corp", organization},
           {"東京都", place},
           {"from", NameTag::other}}},
         {{"山田太郎", "person"}, {"Acme Corp", "organization"}, {"東京都", "place"}}},
        {{{{"Jordan", place}}, {{"Jordan", organization}, {"Jordan", place}}},
         {{"Jordan", "place"}, {"Jordan", "organization"}}},
        {{{{" 佐藤 花子\u3000", person}}, {{"佐藤 花子", person}, {" 山 ", person}}},
         {{"佐藤 花子", "person"}}},
        // One character, however many scalars it has.
        {{{{"山", person}, {"é", place}, {"👩‍💻", person}, {"Al", person}}},
         {{"Al", "person"}}},
        {{{{"1234", place},
           {"１２３", organization},
           {"七八", place},
           {"123-4567", place},
           {"3丁目", place}}},
         {{"123-4567", "place"}, {"3丁目", "place"}}},
    };
    for (const auto& [lines, expected] : cases) {
        FakeNameTagger tagger;
        std::vector<OcrLine> ocrLines;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            tagger.tokens[std::to_string(i)] = lines[i];
            ocrLines.push_back({std::to_string(i), 1.0, {0, 0, 1, 1}});
        }
        Found found;
        for (const auto& entity : detectEntities(ocrLines, tagger))
            found.emplace_back(entity.text, entity.kind);
        EXPECT_EQ(found, expected) << expected[0].first;
    }
}

} // namespace
} // namespace helper
