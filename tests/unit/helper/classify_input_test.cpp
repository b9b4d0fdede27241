// Strict decoding of the classify input and the refusal of unreadable input.
#include "helper/classify.h"
#include "tests/fakes/fake_language_model.h"

#include <gtest/gtest.h>
#include <sstream>

namespace helper {
namespace {

TEST(ClassifyInputDecoding, RequiredStringsAndOptionalStringOrNull) {
    const auto full = decodeClassifyInput(
        R"({"appName":"Mail","windowTitle":"受信","domain":"example.com","text":"本文"})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->appName, "Mail");
    EXPECT_EQ(full->windowTitle, "受信");
    EXPECT_EQ(full->domain, "example.com");
    EXPECT_EQ(full->text, "本文");

    const auto minimal = decodeClassifyInput(R"({"text":"","appName":""})");
    ASSERT_TRUE(minimal);
    EXPECT_FALSE(minimal->windowTitle);
    EXPECT_FALSE(minimal->domain);

    const auto nulls =
        decodeClassifyInput(R"({"appName":"A","windowTitle":null,"domain":null,"text":"t"})");
    ASSERT_TRUE(nulls);
    EXPECT_FALSE(nulls->windowTitle);
    EXPECT_FALSE(nulls->domain);

    const auto emptyTitle = decodeClassifyInput(R"({"appName":"A","windowTitle":"","text":"t"})");
    ASSERT_TRUE(emptyTitle);
    EXPECT_EQ(emptyTitle->windowTitle, "");
}

TEST(ClassifyInputDecoding, EscapesAndUnicodeAreDecoded) {
    const auto input =
        decodeClassifyInput("\xEF\xBB\xBF"
                            R"( {"appName":"a\/b\"c","text":"\u3042\ud83d\ude00\n"} )");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->appName, "a/b\"c");
    EXPECT_EQ(input->text, "あ😀\n");
}

TEST(ClassifyInputDecoding, OtherKeysAreIgnoredWhateverTheyHold) {
    const std::string nested(100, '[');
    const auto input = decodeClassifyInput(R"({"extra":{"appName":5,"text":[1,{"x":null}]},)"
                                           R"("deep":)" +
                                           nested + std::string(100, ']') +
                                           R"(,"appname":1,"appName":"A","text":"t"})");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->appName, "A");
    EXPECT_EQ(input->text, "t");
}

TEST(ClassifyInputDecoding, NumbersBeyondDoubleRangeInOtherKeysAreIgnored) {
    const std::string digits(400, '9');
    const auto input = decodeClassifyInput(R"({"score":1e999,"low":-1E+400,"tiny":1e-999,"big":)" +
                                           digits + R"(,"list":[2e308,)" + digits +
                                           R"(],"appName":"1e999","text":"x \" 1e999"})");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->appName, "1e999");
    EXPECT_EQ(input->text, "x \" 1e999");

    // Still numbers, so still the wrong type for the known keys; still checked for syntax.
    EXPECT_FALSE(decodeClassifyInput(R"({"appName":1e999,"text":"t"})"));
    EXPECT_FALSE(decodeClassifyInput(R"({"appName":"A","text":"t","windowTitle":-1e999})"));
    for (const char* number :
         {"01", "1e", "1.", "-", "+1", ".5", "1e999e1", "1e999.5", "--1", "1e999 2", "0x10"}) {
        EXPECT_FALSE(
            decodeClassifyInput(std::string(R"({"appName":"A","text":"t","x":)") + number + "}"))
            << number;
    }
}

TEST(ClassifyInputDecoding, RejectsWrongTypesMissingKeysAndNonObjects) {
    const std::vector<std::string> invalid = {
        "",
        "   \n",
        "null",
        "[]",
        R"("text")",
        R"([{"appName":"A","text":"t"}])",
        R"({"appName":"A"})",
        R"({"text":"t"})",
        R"({"appName":1,"text":"t"})",
        R"({"appName":"A","text":42})",
        R"({"appName":"A","text":null})",
        R"({"appName":null,"text":"t"})",
        R"({"appName":["A"],"text":"t"})",
        R"({"appName":{"v":"A"},"text":"t"})",
        R"({"appName":"A","text":"t","windowTitle":3})",
        R"({"appName":"A","text":"t","windowTitle":false})",
        R"({"appName":"A","text":"t","domain":[]})",
        R"({"appName":"A","text":"t","domain":{}})",
        R"({"appName":"A","text":"t"} {})",
        R"({"appName":"A","text":"t"} x)",
        R"({"appName":"A","text":"t",})",
        R"({"appName":"A","text":"t")",
        R"({'appName':'A','text':'t'})",
        R"({"appName":"A","text":"\ud800"})",
        R"({"appName":"A","text":"a	b"})",       // raw tab inside a string
        "{\"appName\":\"A\",\"text\":\"\xC3\x28\"}", // ill-formed UTF-8
        "{\"appName\":\"A\",\"text\":\"\xFF\"}",
        "{\"appName\":\"A\",\"text\":\"\xED\xA0\x80\"}", // encoded surrogate
        std::string("{\"appName\":\"A\",\"text\":\"t\"}\0", 27),
        std::string("{\"appName\":\"A\",\"text\":\"t\"}\0garbage", 34),
        std::string("\0{\"appName\":\"A\",\"text\":\"t\"}", 27),
    };
    for (const auto& document : invalid) {
        EXPECT_FALSE(decodeClassifyInput(document)) << document;
    }
}

TEST(ClassifyInputDecoding, RejectsUtf16Documents) {
    const std::string document = R"({"appName":"A","text":"t"})";
    std::string littleEndian;
    std::string bigEndian;
    for (char c : document) {
        littleEndian += {c, '\0'};
        bigEndian += {'\0', c};
    }
    ASSERT_TRUE(decodeClassifyInput(document));
    EXPECT_FALSE(decodeClassifyInput(littleEndian));
    EXPECT_FALSE(decodeClassifyInput("\xFF\xFE" + littleEndian));
    EXPECT_FALSE(decodeClassifyInput(bigEndian));
    EXPECT_FALSE(decodeClassifyInput("\xFE\xFF" + bigEndian));
}

TEST(ClassifyInputDecoding, LastOccurrenceOfAKeyCounts) {
    EXPECT_FALSE(decodeClassifyInput(R"({"appName":"A","appName":1,"text":"t"})"));
    const auto input = decodeClassifyInput(R"({"appName":1,"appName":"B","text":"t"})");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->appName, "B");
}

TEST(ClassifyInputDecoding, DeepNestingIsRefusedWithoutRecursion) {
    EXPECT_FALSE(decodeClassifyInput(std::string(100000, '[')));
    EXPECT_FALSE(decodeClassifyInput(std::string(100000, '[') + std::string(100000, ']')));
    EXPECT_FALSE(
        decodeClassifyInput(R"({"appName":"A","text":"t","x":)" + std::string(100000, '{')));
    std::string deepObjects = R"({"appName":"A","text":"t","x":)";
    for (int i = 0; i < 50000; ++i)
        deepObjects += R"({"k":)";
    deepObjects += "1" + std::string(50000, '}') + "}";
    EXPECT_FALSE(decodeClassifyInput(deepObjects));
}

TEST(ClassifyInputDecoding, NestingUpToTheLimitIsAccepted) {
    const std::size_t inner = maxClassifyInputDepth - 1; // the document object is one level
    const std::string document = R"({"appName":"A","text":"t","x":)" + std::string(inner, '[') +
                                 std::string(inner, ']') + "}";
    EXPECT_TRUE(decodeClassifyInput(document));
    const std::string tooDeep = R"({"appName":"A","text":"t","x":)" + std::string(inner + 1, '[') +
                                std::string(inner + 1, ']') + "}";
    EXPECT_FALSE(decodeClassifyInput(tooDeep));
}

TEST(BoundedInput, ReadsToTheEndUpToTheLimit) {
    std::istringstream exact(std::string(100, 'x'));
    EXPECT_EQ(readBoundedInput(exact, 100), std::string(100, 'x'));
    std::istringstream over(std::string(101, 'x'));
    EXPECT_FALSE(readBoundedInput(over, 100));
    std::istringstream empty;
    EXPECT_EQ(readBoundedInput(empty, 100), "");
    const std::string binary("a\0b\xFF", 4);
    std::istringstream raw(binary);
    EXPECT_EQ(readBoundedInput(raw, 100), binary);
}

class RunClassifyInput : public ::testing::Test {
protected:
    /// Runs `classify` on `input`; the exit request it ended with, if any.
    std::optional<HelperExit> run(std::string input) {
        in.str(std::move(input));
        try {
            runClassify(io, model);
        } catch (const HelperExit& exit) {
            return exit;
        }
        return std::nullopt;
    }

    void expectRefused(const std::string& input) {
        const auto exit = run(input);
        ASSERT_TRUE(exit);
        EXPECT_EQ(exit->code, 2);
        EXPECT_EQ(exit->message, "invalid classify input JSON");
        EXPECT_TRUE(out.str().empty());
        EXPECT_EQ(model.systemChecks, 0) << "the input is judged before the system";
        EXPECT_TRUE(model.requests.empty());
    }

    FakeLanguageModel model;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    HelperIO io{in, out, err};
};

TEST_F(RunClassifyInput, EmptyInput) {
    expectRefused("");
}

TEST_F(RunClassifyInput, NotUtf8) {
    expectRefused("{\"appName\":\"\xC0\xAF\",\"text\":\"t\"}");
}

TEST_F(RunClassifyInput, DeeplyNested) {
    expectRefused(std::string(100000, '['));
}

TEST_F(RunClassifyInput, NumbersWhereStringsBelong) {
    expectRefused(R"({"appName":1,"text":"t"})");
    expectRefused(R"({"appName":"A","text":2.5})");
}

TEST_F(RunClassifyInput, MissingTextEvenOnAnOldSystem) {
    model.supported = false;
    expectRefused(R"({"appName":"A"})");
}

TEST_F(RunClassifyInput, HugeInput) {
    const std::string document =
        R"({"appName":"A","text":")" + std::string(maxClassifyInputBytes, 'x') + "\"}";
    expectRefused(document);
}

TEST_F(RunClassifyInput, LargeValidInputSendsOnlyTheBoundedPrompt) {
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "文字"; // 6 MB
    EXPECT_FALSE(run(R"({"appName":"A","text":")" + text + "\"}"));
    ASSERT_EQ(model.requests.size(), 1u);
    EXPECT_LT(model.requests[0].prompt.size(), 1500u * 3 + 100);
}

TEST_F(RunClassifyInput, ValidInputIsAnswered) {
    EXPECT_FALSE(run(R"({"appName":"A","text":"t","ignored":[1,2]})"));
    EXPECT_EQ(model.requests.size(), 1u);
    EXPECT_FALSE(out.str().empty());
}

} // namespace
} // namespace helper
