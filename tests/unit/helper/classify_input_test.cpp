// Strict decoding of the classify input, and the refusal of unreadable input before anything
// else is asked.
#include "helper/classify.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>
#include <sstream>

namespace helper {
namespace {

TEST(ClassifyInputDecoding, AcceptsRequiredStringsOptionalStringsOrNullAndIgnoresOtherKeys) {
    const std::string nested = std::string(100, '[') + std::string(100, ']');
    const std::string digits(400, '9');
    const std::pair<std::string, ClassifyInput> cases[] = {
        {R"({"appName":"Mail","windowTitle":"受信","domain":"example.com","text":"本文"})",
         {"Mail", "受信", "example.com", "本文"}},
        {R"({"text":"","appName":"","windowTitle":null,"domain":null})", {"", {}, {}, ""}},
        {R"({"appName":"A","windowTitle":"","text":"t"})", {"A", "", {}, "t"}},
        {"\xEF\xBB\xBF"
         R"( {"appName":"a\/b\"c","text":"\u3042\ud83d\ude00\n"} )",
         {"a/b\"c", {}, {}, "あ😀\n"}},
        {R"({"extra":{"appName":5,"text":[1,{"x":null}]},"deep":)" + nested +
             R"(,"appname":1,"appName":"A","text":"t"})",
         {"A", {}, {}, "t"}},
        // Numbers beyond the range of a double, in keys that are not read.
        {R"({"score":1e999,"low":-1E+400,"tiny":1e-999,"big":)" + digits + R"(,"list":[2e308,)" +
             digits + R"(],"appName":"1e999","text":"x \" 1e999"})",
         {"1e999", {}, {}, "x \" 1e999"}},
        // The last occurrence of a key counts.
        {R"({"appName":1,"appName":"B","text":"t"})", {"B", {}, {}, "t"}},
    };
    for (const auto& [document, expected] : cases) {
        const auto input = decodeClassifyInput(document);
        ASSERT_TRUE(input) << document.substr(0, 60);
        EXPECT_EQ(std::tie(input->appName, input->windowTitle, input->domain, input->text),
                  std::tie(expected.appName, expected.windowTitle, expected.domain, expected.text));
    }
}

TEST(ClassifyInputDecoding, RejectsWrongTypesMissingKeysBadSyntaxAndBadEncodings) {
    const std::string valid = R"({"appName":"A","text":"t"})";
    std::vector<std::string> invalid;
    for (const char* document :
         {"", "   \n", "null", "[]", R"("text")", R"({"appName":"A"})", R"({"text":"t"})",
          R"({"appName":"A","text":"t",})", R"({"appName":"A","text":"t")",
          R"({'appName':'A','text':'t'})", R"({"appName":null,"text":"t"})",
          R"({"appName":"A","appName":1,"text":"t"})"})
        invalid.emplace_back(document);
    for (const char* key : {"appName", "text", "windowTitle", "domain"})
        for (const char* value : {"1", "false", "-1e999", R"(["A"])", R"({"v":"A"})"})
            invalid.push_back(R"({"appName":"A","text":"t",")" + std::string(key) + "\":" + value +
                              "}");
    for (const char* value :
         {"null", R"("\ud800")", "\"a\tb\"", "\"\xC3\x28\"", "\"\xFF\"", "\"\xED\xA0\x80\""})
        invalid.push_back(R"({"appName":"A","text":)" + std::string(value) + "}");
    for (const char* number :
         {"01", "1e", "1.", "-", "+1", ".5", "1e999e1", "1e999.5", "--1", "1e999 2", "0x10"})
        invalid.push_back(R"({"appName":"A","text":"t","x":)" + std::string(number) + "}");
    std::string littleEndian, bigEndian;
    for (char c : valid) {
        littleEndian += {c, '\0'};
        bigEndian += {'\0', c};
    }
    for (const auto& other :
         {"[" + valid + "]", valid + " {}", valid + " x", valid + std::string("\0", 1),
          valid + std::string("\0garbage", 8), std::string("\0", 1) + valid, littleEndian,
          "\xFF\xFE" + littleEndian, bigEndian, "\xFE\xFF" + bigEndian})
        invalid.push_back(other);
    for (const auto& rejected : invalid)
        EXPECT_FALSE(decodeClassifyInput(rejected)) << rejected;
}

TEST(ClassifyInputDecoding, NestingBeyondTheLimitIsRefusedWithoutRecursion) {
    const std::string prefix = R"({"appName":"A","text":"t","x":)";
    const std::size_t inner = maxClassifyInputDepth - 1; // the document object is one level
    EXPECT_TRUE(
        decodeClassifyInput(prefix + std::string(inner, '[') + std::string(inner, ']') + "}"));
    EXPECT_FALSE(decodeClassifyInput(prefix + std::string(inner + 1, '[') +
                                     std::string(inner + 1, ']') + "}"));
    std::string deepObjects = prefix;
    for (int i = 0; i < 50000; ++i)
        deepObjects += R"({"k":)";
    deepObjects += "1" + std::string(50000, '}') + "}";
    for (const auto& deep :
         {std::string(100000, '['), std::string(100000, '[') + std::string(100000, ']'),
          prefix + std::string(100000, '{'), deepObjects})
        EXPECT_FALSE(decodeClassifyInput(deep));
}

TEST(RunClassify, RefusesUnreadableInputBeforeAskingTheSystemOrTheModel) {
    // Undecodable input, and input too long to read.
    const std::string refused[] = {
        "{\"appName\":\"\xC0\xAF\",\"text\":\"t\"}",
        R"({"appName":"A","text":")" + std::string(maxClassifyInputBytes, 'x') + "\"}",
    };
    for (const auto& input : refused) {
        helper_test::AllFakes fakes;
        const auto run = fakes.run({"classify"}, input);
        EXPECT_EQ(run.status, 2) << input.substr(0, 40);
        EXPECT_EQ(run.err, "invalid classify input JSON\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(fakes.model.systemChecks, 0);
        EXPECT_TRUE(fakes.model.requests.empty());
    }
}

TEST(RunClassify, LargeValidInputSendsOnlyTheBoundedPrompt) {
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "文字"; // 6 MB
    helper_test::AllFakes fakes;
    const auto run = fakes.run({"classify"}, R"({"appName":"A","text":")" + text + "\"}");
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(fakes.model.requests.size(), 1u);
    EXPECT_LT(fakes.model.requests[0].prompt.size(), 1500u * 3 + 100);
    EXPECT_NE(run.out, "");
}

} // namespace
} // namespace helper
