#include "recorder/text_folding.h"

#include "common/secure_wipe.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <vector>

namespace text_folding {
namespace {

/// UTF-16 units that are wiped when they go.
class WipedUnits {
public:
    explicit WipedUnits(std::size_t size) : units_(size) {}
    WipedUnits(const WipedUnits&) = delete;
    WipedUnits& operator=(const WipedUnits&) = delete;
    ~WipedUnits() { clear(); }

    UChar* data() { return units_.data(); }
    std::int32_t capacity() const { return static_cast<std::int32_t>(units_.size()); }
    void resize(std::size_t size) {
        clear();
        units_.resize(size);
    }

private:
    void clear() { wipeMemory(units_.data(), units_.size() * sizeof(UChar)); }
    std::vector<UChar> units_;
};

constexpr char32_t space = U' ';

} // namespace

std::u32string fold(std::string_view utf8) {
    if (utf8.empty()) return {};
    UErrorCode status = U_ZERO_ERROR;
    // Each byte gives at most one UTF-16 unit.
    WipedUnits source(utf8.size() + 1);
    std::int32_t sourceLength = 0;
    u_strFromUTF8WithSub(source.data(), source.capacity(), &sourceLength, utf8.data(),
                         static_cast<std::int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
    const UNormalizer2* normalizer = unorm2_getNFKCCasefoldInstance(&status);
    if (U_FAILURE(status)) return {};

    WipedUnits folded(static_cast<std::size_t>(sourceLength) * 3 + 8);
    std::int32_t length = unorm2_normalize(normalizer, source.data(), sourceLength, folded.data(),
                                           folded.capacity(), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        folded.resize(static_cast<std::size_t>(length) + 1);
        length = unorm2_normalize(normalizer, source.data(), sourceLength, folded.data(),
                                  folded.capacity(), &status);
    }
    if (U_FAILURE(status)) return {};

    std::u32string out;
    out.reserve(static_cast<std::size_t>(length));
    for (std::int32_t at = 0; at < length;) {
        UChar32 scalar = 0;
        U16_NEXT(folded.data(), at, length, scalar);
        out.push_back(u_isUWhiteSpace(scalar) ? space : static_cast<char32_t>(scalar));
    }
    return out;
}

std::u32string collapseSpaces(std::u32string_view folded) {
    std::u32string out;
    out.reserve(folded.size());
    for (char32_t c : folded) {
        if (c == space && (out.empty() || out.back() == space)) continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == space) out.pop_back();
    return out;
}

void wipe(std::u32string& text) {
    wipeMemory(text.data(), text.capacity() * sizeof(char32_t));
    text.clear();
}

} // namespace text_folding
