#include "common/unicode_text.h"

#include "common/secure_wipe.h"
#include "common/utf8.h"

#include <memory>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

namespace text {

namespace {

struct BreakIteratorCloser {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};
/// ICU converts chunks of the text into a heap buffer of the UText; the text may be typed
/// characters, so that buffer is wiped before ICU frees it.
struct UTextCloser {
    void operator()(UText* ut) const {
        if (ut && ut->pExtra && ut->extraSize > 0) {
            wipeMemory(ut->pExtra, static_cast<std::size_t>(ut->extraSize));
        }
        utext_close(ut);
    }
};

/// `bytes` itself when well-formed, otherwise its sanitized copy kept in `storage`.
std::string_view wellFormed(std::string_view bytes, std::string& storage) {
    if (isValidUtf8(bytes)) return bytes;
    storage = sanitizeUtf8(bytes);
    return storage;
}

bool isAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool isNumericScalar(char32_t scalar) {
    return u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isWhiteSpaceScalar(char32_t scalar) {
    return u_isUWhiteSpace(static_cast<UChar32>(scalar));
}

/// Calls `visit(begin, end)` with the byte range of each extended grapheme cluster of the
/// well-formed `utf8` until it returns false.
template <typename Visit> void forEachCharacter(std::string_view utf8, Visit visit) {
    if (utf8.empty()) return;
    if (isAscii(utf8)) {
        // In ASCII only CR LF forms a cluster of more than one character.
        for (std::size_t at = 0; at < utf8.size();) {
            const std::size_t next =
                (utf8[at] == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n') ? at + 2
                                                                                   : at + 1;
            if (!visit(at, next)) return;
            at = next;
        }
        return;
    }

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> ut(
        utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
    std::unique_ptr<UBreakIterator, BreakIteratorCloser> breaks(
        ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_SUCCESS(status)) ubrk_setUText(breaks.get(), ut.get(), &status);
    if (U_FAILURE(status)) {
        // Without break rules every scalar stands alone.
        for (std::size_t at = 0; at < utf8.size();) {
            const std::size_t next = at + utf8::decode(utf8, at).length;
            if (!visit(at, next)) return;
            at = next;
        }
        return;
    }

    std::int32_t begin = ubrk_first(breaks.get());
    for (std::int32_t end = ubrk_next(breaks.get()); end != UBRK_DONE;
         begin = end, end = ubrk_next(breaks.get())) {
        if (!visit(static_cast<std::size_t>(begin), static_cast<std::size_t>(end))) return;
    }
}

} // namespace

std::size_t characterCount(std::string_view utf8) {
    std::string storage;
    std::size_t count = 0;
    forEachCharacter(wellFormed(utf8, storage), [&count](std::size_t, std::size_t) {
        ++count;
        return true;
    });
    wipeString(storage);
    return count;
}

std::string characterPrefix(std::string_view utf8, std::size_t n) {
    std::string storage;
    const std::string_view valid = wellFormed(utf8, storage);
    std::size_t taken = 0;
    std::size_t prefixEnd = 0;
    forEachCharacter(valid, [&](std::size_t, std::size_t end) {
        if (taken == n) return false;
        ++taken;
        prefixEnd = end;
        return true;
    });
    return std::string(valid.substr(0, prefixEnd));
}

bool isNumericCharacter(std::string_view character) {
    if (character.empty()) return false;
    const utf8::Step first = utf8::decode(character, 0);
    return first.valid && isNumericScalar(first.scalar);
}

std::size_t numericCharacterCount(std::string_view utf8) {
    std::string storage;
    const std::string_view valid = wellFormed(utf8, storage);
    std::size_t count = 0;
    forEachCharacter(valid, [&](std::size_t begin, std::size_t) {
        if (isNumericScalar(utf8::decode(valid, begin).scalar)) ++count;
        return true;
    });
    wipeString(storage);
    return count;
}

std::string trimWhitespace(std::string_view utf8) {
    std::string storage;
    const std::string_view valid = wellFormed(utf8, storage);

    std::size_t begin = 0;
    while (begin < valid.size()) {
        const utf8::Step step = utf8::decode(valid, begin);
        if (!isWhiteSpaceScalar(step.scalar)) break;
        begin += step.length;
    }
    std::size_t end = valid.size();
    while (end > begin) {
        std::size_t lead = end - 1;
        while (lead > begin && (static_cast<unsigned char>(valid[lead]) & 0xC0) == 0x80)
            --lead;
        if (!isWhiteSpaceScalar(utf8::decode(valid, lead).scalar)) break;
        end = lead;
    }
    return std::string(valid.substr(begin, end - begin));
}

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        const utf8::Step step = utf8::decode(bytes, at);
        if (!step.valid) return false;
        at += step.length;
    }
    return true;
}

std::string sanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const utf8::Step step = utf8::decode(bytes, at);
        if (step.valid) {
            out.append(bytes.substr(at, step.length));
        } else {
            utf8::append(out, utf8::replacementCharacter);
        }
        at += step.length;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t at = 0; at < units.size(); ++at) {
        const char32_t unit = units[at];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && at + 1 < units.size() && units[at + 1] >= 0xDC00 && units[at + 1] <= 0xDFFF) {
            const char32_t next = units[at + 1];
            utf8::append(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++at;
        } else if (high || low) {
            utf8::append(out, utf8::replacementCharacter);
        } else {
            utf8::append(out, unit);
        }
    }
    return out;
}

} // namespace text
