// Named entities: tag to kind, trimming, length and digit filters, de-duplication, order.
#include "helper/ocr.h"
#include "tests/fakes/fake_name_tagger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace helper {
namespace {

class DetectEntities : public ::testing::Test {
protected:
    std::vector<Entity> detect(const std::vector<std::string>& texts) {
        std::vector<OcrLine> lines;
        for (const auto& text : texts)
            lines.push_back({text, 1.0, {0, 0, 1, 1}});
        return detectEntities(lines, tagger);
    }

    FakeNameTagger tagger;
};

MATCHER_P2(IsEntity, text, kind, "") {
    return arg.text == text && arg.kind == kind;
}

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(DetectEntities, MapsTheThreeNameTagsAndIgnoresTheRest) {
    tagger.tokens["line"] = {{"山田太郎", NameTag::personalName},
                             {"Acme Corp", NameTag::organizationName},
                             {"東京都", NameTag::placeName},
                             {"from", NameTag::other}};
    EXPECT_THAT(detect({"line"}),
                ElementsAre(IsEntity("山田太郎", "person"), IsEntity("Acme Corp", "organization"),
                            IsEntity("東京都", "place")));
}

TEST_F(DetectEntities, SameNameInThreeLinesIsOneEntity) {
    for (const char* line : {"a", "b", "c"}) {
        tagger.tokens[line] = {{"John Smith", NameTag::personalName}};
    }
    EXPECT_THAT(detect({"a", "b", "c"}), ElementsAre(IsEntity("John Smith", "person")));
}

TEST_F(DetectEntities, SameTextOfTwoKindsIsTwoEntities) {
    tagger.tokens["a"] = {{"Jordan", NameTag::placeName}};
    tagger.tokens["b"] = {{"Jordan", NameTag::organizationName}, {"Jordan", NameTag::placeName}};
    EXPECT_THAT(detect({"a", "b"}),
                ElementsAre(IsEntity("Jordan", "place"), IsEntity("Jordan", "organization")));
}

TEST_F(DetectEntities, TrimsBeforeTheLengthTestAndDeDuplication) {
    tagger.tokens["a"] = {{" 佐藤 花子\u3000", NameTag::personalName}};
    tagger.tokens["b"] = {{"佐藤 花子", NameTag::personalName}, {" 山 ", NameTag::personalName}};
    EXPECT_THAT(detect({"a", "b"}), ElementsAre(IsEntity("佐藤 花子", "person")));
}

TEST_F(DetectEntities, OneCharacterNamesAreRejected) {
    tagger.tokens["a"] = {{"山", NameTag::personalName},
                          {"é", NameTag::placeName}, // e + combining acute: one character
                          {"👩‍💻", NameTag::personalName}, // one cluster of several scalars
                          {"Al", NameTag::personalName}};
    EXPECT_THAT(detect({"a"}), ElementsAre(IsEntity("Al", "person")));
}

TEST_F(DetectEntities, AllNumericTokensAreRejected) {
    tagger.tokens["a"] = {{"1234", NameTag::placeName},
                          {"１２３", NameTag::organizationName},
                          {"七八", NameTag::placeName},
                          {"123-4567", NameTag::placeName},
                          {"3丁目", NameTag::placeName}};
    EXPECT_THAT(detect({"a"}),
                ElementsAre(IsEntity("123-4567", "place"), IsEntity("3丁目", "place")));
}

TEST_F(DetectEntities, OrderOfFirstAppearanceAcrossLinesAndTokens) {
    tagger.tokens["1"] = {{"Beta", NameTag::placeName}, {"Alpha", NameTag::personalName}};
    tagger.tokens["2"] = {{"Gamma", NameTag::organizationName}, {"Beta", NameTag::placeName}};
    EXPECT_THAT(detect({"1", "2"}),
                ElementsAre(IsEntity("Beta", "place"), IsEntity("Alpha", "person"),
                            IsEntity("Gamma", "organization")));
}

TEST_F(DetectEntities, NoNamesNoEntities) {
    EXPECT_THAT(detect({"plain text"}), IsEmpty());
    EXPECT_THAT(detect({}), IsEmpty());
}

} // namespace
} // namespace helper
