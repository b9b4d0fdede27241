// Text recognition with Tesseract 5 (LSTM, Japanese and English), line by line.
#pragma once

#include "platform/text_recognizer.h"

#include <cstdint>
#include <memory>
#include <vector>

/// An 8-bit grey copy of an image, the form Tesseract reads.
struct GreyImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> pixels; ///< width × height, row 0 first
};

/// Rows [top, bottom) of an image, recognised on their own.
struct RowBand {
    std::int64_t top = 0;
    std::int64_t bottom = 0;
};

/// Splits `image` into at most `count` bands that meet only at rows without ink, balanced by
/// the number of inked rows, top to bottom. Rows without ink at the top and bottom are
/// dropped; an image without ink gives no band.
std::vector<RowBand> splitAtBlankRows(const GreyImage& image, std::size_t count);

class TesseractRecognizer final : public TextRecognizer {
public:
    /// Engines (one per band) are made on first use and kept for later images.
    explicit TesseractRecognizer(std::size_t threads = 2);
    ~TesseractRecognizer() override;
    TesseractRecognizer(const TesseractRecognizer&) = delete;
    TesseractRecognizer& operator=(const TesseractRecognizer&) = delete;

    /// Recognises the lines of a LinuxImage, top band first, with one engine per band and
    /// the bands on parallel threads.
    Result<std::vector<TextObservation>> recognizeText(const Image& image) override;

private:
    struct Library;
    struct Engine;
    std::size_t threads_;
    std::unique_ptr<Library> library_; ///< outlives the engines made from it
    std::vector<std::unique_ptr<Engine>> engines_;
};

/// The grey reading of a LinuxImage: translucent pixels are composited over white.
GreyImage greyImageOf(const Image& image);
