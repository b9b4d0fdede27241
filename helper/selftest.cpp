#include "helper/selftest.h"

#include "helper/ocr.h"

#include <ostream>
#include <utility>

namespace helper {

namespace {

constexpr FixtureColour white{1, 1, 1};
constexpr FixtureColour black{0, 0, 0};

/// Recognises a fixture image; ends the run with status 4 when there is no image and with
/// status 5 when recognition fails.
OcrOutput recognizeFixture(const Image& image, TextRecognizer& recognizer, NameTagger& tagger) {
    if (!image) fail("failed to create fixture image", 4);
    auto output = recognizeText(image, recognizer, tagger);
    if (!output) fail("ocr failed: " + output.error().description, 5);
    return std::move(output.value());
}

} // namespace

FixtureDrawing fixtureDrawing() {
    FixtureText heading;
    heading.text = "TOLMIK OCR MVP";
    heading.fontSize = 44;
    heading.weight = FontWeight::semibold;
    heading.origin = {24, 78};
    heading.centredIn = geo::Rect{24, 78, 672, 80};
    return {{720, 220}, white, black, {heading}};
}

FixtureDrawing piiFixtureDrawing() {
    auto line = [](std::string text, double y) {
        FixtureText run;
        run.text = std::move(text);
        run.fontSize = 30;
        run.weight = FontWeight::regular;
        run.origin = {24, y};
        return run;
    };
    return {{900, 320},
            white,
            black,
            {line("担当: 山田太郎様  佐藤 花子さん", 256), line("John Smith from Acme Corp", 194),
             line("〒123-4567 東京都港区見本町1-2-3", 132),
             line("1234 5678 9012  03-1234-5678", 70)}};
}

Image createFixtureImage(FixtureCanvas& canvas) {
    return canvas.draw(fixtureDrawing());
}

Image createPiiFixtureImage(FixtureCanvas& canvas) {
    return canvas.draw(piiFixtureDrawing());
}

void runSelfTest(HelperIO& io, FixtureCanvas& canvas, TextRecognizer& recognizer,
                 NameTagger& tagger) {
    const OcrOutput output = recognizeFixture(createFixtureImage(canvas), recognizer, tagger);
    std::string text;
    for (std::size_t i = 0; i < output.lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += output.lines[i].text;
    }
    text += '\n';
    io.out.write(text.data(), static_cast<std::streamsize>(text.size()));
    io.out.flush();
}

void runSelfTestPii(HelperIO& io, FixtureCanvas& canvas, TextRecognizer& recognizer,
                    NameTagger& tagger) {
    printJSON(io, toJSON(recognizeFixture(createPiiFixtureImage(canvas), recognizer, tagger)));
}

} // namespace helper
