#include "recorder/typed_text_screen.h"

#include "common/secure_wipe.h"
#include "common/utf8.h"
#include "recorder/text_folding.h"

#include <array>
#include <random>
#include <unicode/uchar.h>

namespace {

constexpr std::size_t pieceLength = TypedTextScreen::pieceLength;

// Longer lines give no entry, however much white space and punctuation they hold.
constexpr std::size_t shortLineBytes = 64;

enum class Tag : std::uint8_t { piece = 1, entry = 2 };

/// The bytes hashed for a piece or an entry: its tag, then its characters in UTF-32LE.
class HashedBytes {
public:
    HashedBytes(Tag tag, std::u32string_view characters) {
        bytes_[0] = static_cast<std::uint8_t>(tag);
        for (char32_t c : characters) {
            for (int shift = 0; shift < 32; shift += 8)
                bytes_[size_++] = static_cast<std::uint8_t>(c >> shift);
        }
    }
    HashedBytes(const HashedBytes&) = delete;
    HashedBytes& operator=(const HashedBytes&) = delete;
    ~HashedBytes() { wipeMemory(bytes_.data(), bytes_.size()); }

    std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }

private:
    std::array<std::uint8_t, 1 + 4 * pieceLength> bytes_{};
    std::size_t size_ = 1;
};

/// Letters, digits and marks make words; everything else separates them.
bool isWordCharacter(char32_t c) {
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_N_MASK | U_GC_M_MASK)) !=
           0;
}

/// `collapsed` without what is not a word character at either end.
std::u32string_view trimToWords(std::u32string_view collapsed) {
    while (!collapsed.empty() && !isWordCharacter(collapsed.front()))
        collapsed.remove_prefix(1);
    while (!collapsed.empty() && !isWordCharacter(collapsed.back()))
        collapsed.remove_suffix(1);
    return collapsed;
}

/// Wipes a folded copy of private text on every way out.
class Wiped {
public:
    explicit Wiped(std::u32string text) : text_(std::move(text)) {}
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;
    ~Wiped() { text_folding::wipe(text_); }
    std::u32string_view view() const { return text_; }

private:
    std::u32string text_;
};

} // namespace

TypedTextScreen::TypedTextScreen(const siphash::Key& key) : pieces_(key) {}

siphash::Key TypedTextScreen::freshKey() {
    std::random_device source;
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t word = source();
        for (std::size_t j = 0; j < 4; ++j)
            bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    const siphash::Key key = siphash::keyFromBytes(bytes);
    wipeMemory(bytes.data(), bytes.size());
    return key;
}

void TypedTextScreen::type(std::string_view characters) {
    if (characters.empty()) return;
    const char32_t first = text::utf8::decode(characters, 0).scalar;
    switch (first) {
    case 0x7F: // backspace
    case 0x08:
        line_.eraseBefore();
        break;
    case 0xF728: // forward delete
        line_.eraseAfter();
        break;
    case 0xF702: // left arrow
        if (!line_.moveLeft()) breakEntry();
        return;
    case 0xF703: // right arrow
        if (!line_.moveRight()) breakEntry();
        return;
    default:
        // Return, tab, escape, Ctrl+Alt chords, and the other function keys (vertical
        // arrows, home, end, pages) end the line or move the caret to an unknown place.
        if (first < 0x20 || (first >= 0xF700 && first <= 0xF8FF)) {
            breakEntry();
            return;
        }
        const Wiped folded(text_folding::fold(characters));
        for (char32_t c : folded.view())
            line_.insert(c);
    }
    const Wiped collapsed(text_folding::collapseSpaces(line_.characters()));
    addPieces(collapsed.view());
}

void TypedTextScreen::breakEntry() {
    if (!line_.overflowed()) {
        const Wiped collapsed(text_folding::collapseSpaces(line_.characters()));
        addEntry(collapsed.view());
    }
    line_.clear();
}

void TypedTextScreen::copied(std::string_view text) {
    // A character takes at most four bytes: what lies beyond is never screened.
    const std::string_view head = text.substr(0, copiedCharacterLimit * 4);
    const Wiped folded(text_folding::fold(head));
    const Wiped collapsed(
        text_folding::collapseSpaces(folded.view().substr(0, copiedCharacterLimit)));
    addPieces(collapsed.view());
    // Each short line on its own is an entry; a line cut short is not whole.
    const bool cut = head.size() < text.size();
    for (std::string_view rest = head; !rest.empty();) {
        const std::size_t end = rest.find_first_of("\n\r");
        if (end == std::string_view::npos && cut) break;
        const std::string_view line = rest.substr(0, end);
        if (line.size() <= shortLineBytes) {
            const Wiped lineFolded(text_folding::fold(line));
            const Wiped lineCollapsed(text_folding::collapseSpaces(lineFolded.view()));
            addEntry(lineCollapsed.view());
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
}

namespace {

/// Whether `words` stands in `text` with no word character on either side.
bool showsAsWords(std::u32string_view text, std::u32string_view words) {
    for (std::size_t at = text.find(words); at != std::u32string_view::npos;
         at = text.find(words, at + 1)) {
        const std::size_t end = at + words.size();
        if ((at == 0 || !isWordCharacter(text[at - 1])) &&
            (end == text.size() || !isWordCharacter(text[end])))
            return true;
    }
    return false;
}

} // namespace

bool TypedTextScreen::showsStartOf(std::string_view text, std::string_view typed) {
    const Wiped folded(text_folding::collapseSpaces(text_folding::fold(typed)));
    std::u32string_view start = folded.view();
    while (!start.empty() && !isWordCharacter(start.front()))
        start.remove_prefix(1);
    const Wiped shown(text_folding::collapseSpaces(text_folding::fold(text)));
    for (std::size_t length = 1; length < pieceLength && length <= start.size(); ++length) {
        if (isWordCharacter(start[length - 1]) &&
            showsAsWords(shown.view(), start.substr(0, length)))
            return true;
    }
    return false;
}

void TypedTextScreen::holdLineShownIn(std::string_view text) {
    const Wiped line(text_folding::collapseSpaces(line_.characters()));
    const std::u32string_view entry = trimToWords(line.view());
    if (entry.size() < shortestEntry || entry.size() >= pieceLength) return;
    const Wiped shown(text_folding::collapseSpaces(text_folding::fold(text)));
    if (showsAsWords(shown.view(), entry)) addEntry(entry);
}

bool TypedTextScreen::holds(std::string_view text) const {
    const Wiped collapsed(text_folding::collapseSpaces(text_folding::fold(text)));
    return holdsPiece(collapsed.view()) || holdsEntry(collapsed.view());
}

namespace {

/// Only pieces that begin and end inside words count: one that begins or ends between words
/// (" and ", ", the") is common to any two texts.
bool endsInWords(std::u32string_view piece) {
    return isWordCharacter(piece.front()) && isWordCharacter(piece.back());
}

} // namespace

void TypedTextScreen::addPieces(std::u32string_view collapsed) {
    for (std::size_t at = 0; at + pieceLength <= collapsed.size(); ++at) {
        if (!endsInWords(collapsed.substr(at, pieceLength))) continue;
        const HashedBytes piece(Tag::piece, collapsed.substr(at, pieceLength));
        pieces_.add(piece.bytes());
    }
}

void TypedTextScreen::addEntry(std::u32string_view collapsed) {
    const std::u32string_view entry = trimToWords(collapsed);
    if (entry.size() < shortestEntry || entry.size() >= pieceLength) return;
    const HashedBytes hashed(Tag::entry, entry);
    pieces_.add(hashed.bytes());
}

bool TypedTextScreen::holdsPiece(std::u32string_view collapsed) const {
    for (std::size_t at = 0; at + pieceLength <= collapsed.size(); ++at) {
        if (!endsInWords(collapsed.substr(at, pieceLength))) continue;
        const HashedBytes piece(Tag::piece, collapsed.substr(at, pieceLength));
        if (pieces_.mayHold(piece.bytes())) return true;
    }
    return false;
}

bool TypedTextScreen::holdsEntry(std::u32string_view collapsed) const {
    // Every run of whole words shorter than a piece: from the start of one word to the end
    // of the same or a later one.
    for (std::size_t start = 0; start < collapsed.size(); ++start) {
        if (!isWordCharacter(collapsed[start])) continue;
        if (start > 0 && isWordCharacter(collapsed[start - 1])) continue;
        for (std::size_t end = start + 1; end <= collapsed.size() && end - start < pieceLength;
             ++end) {
            if (!isWordCharacter(collapsed[end - 1])) continue;
            if (end < collapsed.size() && isWordCharacter(collapsed[end])) continue;
            if (end - start < shortestEntry) continue;
            const HashedBytes entry(Tag::entry, collapsed.substr(start, end - start));
            if (pieces_.mayHold(entry.bytes())) return true;
        }
    }
    return false;
}
