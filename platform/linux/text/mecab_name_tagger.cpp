#include "platform/linux/text/mecab_name_tagger.h"

#include <algorithm>
#include <array>
#include <dlfcn.h>
#include <iterator>
#include <mecab.h>
#include <optional>

namespace {

/// IPADIC in UTF-8: Debian's package path first, then the dictionary /etc/mecabrc names.
constexpr std::array<const char*, 2> taggerArguments{"-d /var/lib/mecab/dic/ipadic-utf8", ""};
constexpr const char* mecabLibrary = "libmecab.so.2";

std::vector<std::string_view> csvFields(std::string_view feature) {
    std::vector<std::string_view> fields;
    while (true) {
        const auto comma = feature.find(',');
        fields.push_back(feature.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        feature.remove_prefix(comma + 1);
    }
}

/// Decodes the code points of valid UTF-8 (invalid bytes count as U+FFFD).
std::vector<char32_t> codePoints(std::string_view text) {
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + static_cast<std::size_t>(length) > text.size() || (length > 1 && lead < 0xC2)) {
            points.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t point = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        points.push_back(point);
        i += static_cast<std::size_t>(length);
    }
    return points;
}

bool isLatinWord(std::string_view text) {
    for (const char32_t c : codePoints(text)) {
        const bool latin = c <= 0x024F || (c >= 0xFF01 && c <= 0xFF5E);
        if (!latin) return false;
    }
    return true;
}

/// MeCab files ASCII punctuation it does not know as nouns: recognise it by its characters.
bool isPunctuationOnly(std::string_view text) {
    auto punctuation = [](char32_t c) {
        return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
               (c >= 0x7B && c <= 0x7E) || (c >= 0xA1 && c <= 0xBF) ||
               (c >= 0x2010 && c <= 0x205E) || (c >= 0x3001 && c <= 0x303F) ||
               (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
               (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65);
    };
    const auto points = codePoints(text);
    return !points.empty() && std::all_of(points.begin(), points.end(), punctuation);
}

bool isWhitespace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0x3000 || c == 0xA0;
}

struct Classified {
    NameTag tag = NameTag::other;
    bool regionSuffix = false; ///< 都, 府, 県, 区, 町… (名詞,接尾,地域)
    bool symbol = false;
    bool whitespace = false; ///< 記号,空白 (the ideographic space)
};

Classified classify(const Morpheme& morpheme, std::string_view surface) {
    const auto fields = csvFields(morpheme.feature);
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string_view{}; };
    Classified result;
    result.symbol = field(0) == "記号" || isPunctuationOnly(surface);
    result.whitespace = result.symbol && field(1) == "空白";
    if (field(0) != "名詞") return result;
    if (field(1) == "接尾" && field(2) == "地域") result.regionSuffix = true;
    if (field(1) != "固有名詞") return result;
    // MeCab files unknown alphabet words under 固有名詞,組織: they are no evidence of a name.
    if (morpheme.unknown && isLatinWord(surface)) return result;
    if (field(2) == "人名")
        result.tag = NameTag::personalName;
    else if (field(2) == "組織")
        result.tag = NameTag::organizationName;
    else if (field(2) == "地域")
        result.tag = NameTag::placeName;
    return result;
}

/// True when `gap` (text between two morphemes) is nothing or one whitespace character.
bool joinableGap(std::string_view gap) {
    const auto points = codePoints(gap);
    return points.empty() || (points.size() == 1 && isWhitespace(points[0]));
}

/// Legal-form words that make the nouns beside them a company or corporation name.
constexpr std::array<std::string_view, 24> legalForms{"株式会社",
                                                      "有限会社",
                                                      "合同会社",
                                                      "合資会社",
                                                      "合名会社",
                                                      "相互会社",
                                                      "一般社団法人",
                                                      "一般財団法人",
                                                      "公益社団法人",
                                                      "公益財団法人",
                                                      "社団法人",
                                                      "財団法人",
                                                      "特定非営利活動法人",
                                                      "NPO法人",
                                                      "独立行政法人",
                                                      "学校法人",
                                                      "医療法人",
                                                      "社会福祉法人",
                                                      "宗教法人",
                                                      "(株)",
                                                      "（株）",
                                                      "㈱",
                                                      "（有）",
                                                      "㈲"};

/// A noun that can be part of an organization's name: common, proper, verbal and unknown
/// nouns; not pronouns, counters, honorifics or other suffixes.
bool namePart(const Morpheme& morpheme) {
    if (morpheme.unknown) return true;
    const auto fields = csvFields(morpheme.feature);
    if (fields.size() < 2 || fields[0] != "名詞") return false;
    return fields[1] == "一般" || fields[1] == "固有名詞" || fields[1] == "サ変接続";
}

bool properNoun(const Morpheme& morpheme) {
    const auto fields = csvFields(morpheme.feature);
    return morpheme.unknown || (fields.size() > 1 && fields[1] == "固有名詞");
}

/// Byte range of one organization name: a legal form with the name it qualifies.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

/// The organization names of `text`: each legal form whose edges fall on morpheme edges,
/// with the run of name nouns right after it (one whitespace character may separate them)
/// or, when there is none or it holds no proper noun while the run before does, right before
/// it. A legal form with no name beside it is no name.
std::vector<Span> organizationSpans(std::string_view text, const std::vector<Morpheme>& all) {
    // The ideographic space is a morpheme of its own: judge it as a gap, like other spaces.
    std::vector<Morpheme> morphemes;
    std::copy_if(all.begin(), all.end(), std::back_inserter(morphemes), [](const Morpheme& m) {
        const auto fields = csvFields(m.feature);
        return !(fields.size() > 1 && fields[0] == "記号" && fields[1] == "空白");
    });
    std::vector<Span> spans;
    for (std::size_t first = 0; first < morphemes.size(); ++first) {
        for (const std::string_view form : legalForms) {
            const std::size_t begin = morphemes[first].begin;
            if (text.substr(begin, form.size()) != form) continue;
            std::size_t last = first; // the legal form's last morpheme
            while (last < morphemes.size() && morphemes[last].end < begin + form.size())
                ++last;
            if (last == morphemes.size() || morphemes[last].end != begin + form.size()) continue;

            std::size_t after = last + 1; // one past the run that follows
            bool afterProper = false;
            if (after < morphemes.size() &&
                joinableGap(text.substr(morphemes[last].end,
                                        morphemes[after].begin - morphemes[last].end))) {
                while (after < morphemes.size() && namePart(morphemes[after]) &&
                       (after == last + 1 || morphemes[after].begin == morphemes[after - 1].end)) {
                    afterProper = afterProper || properNoun(morphemes[after]);
                    ++after;
                }
            }
            std::size_t before = first; // the first morpheme of the run that precedes
            bool beforeProper = false;
            while (before > 0 && namePart(morphemes[before - 1]) &&
                   morphemes[before - 1].end == morphemes[before].begin) {
                --before;
                beforeProper = beforeProper || properNoun(morphemes[before]);
            }
            const bool hasAfter = after > last + 1;
            const bool hasBefore = before < first;
            if (hasAfter && (afterProper || !beforeProper)) {
                spans.push_back({begin, morphemes[after - 1].end});
                first = after - 1;
            } else if (hasBefore) {
                if (spans.empty() || spans.back().end <= morphemes[before].begin)
                    spans.push_back({morphemes[before].begin, morphemes[last].end});
                first = last;
            }
            break;
        }
    }
    return spans;
}

} // namespace

std::vector<NameToken> nameTokens(std::string_view text, const std::vector<Morpheme>& morphemes) {
    std::vector<NameToken> tokens;
    std::optional<std::size_t> openBegin; ///< start of the name token being extended
    std::size_t openEnd = 0;
    auto closeName = [&] {
        if (!openBegin) return;
        tokens.back().text = std::string(text.substr(*openBegin, openEnd - *openBegin));
        openBegin.reset();
    };

    const std::vector<Span> organizations = organizationSpans(text, morphemes);
    auto organization = organizations.begin();
    for (const Morpheme& morpheme : morphemes) {
        while (organization != organizations.end() && organization->end <= morpheme.begin)
            ++organization;
        if (organization != organizations.end() && morpheme.begin >= organization->begin) {
            // Inside a company name: the whole name is one organization token.
            if (morpheme.begin == organization->begin) {
                closeName();
                tokens.push_back({std::string(text.substr(organization->begin,
                                                          organization->end - organization->begin)),
                                  NameTag::organizationName});
            }
            continue;
        }
        const std::string_view surface = text.substr(morpheme.begin, morpheme.end - morpheme.begin);
        const Classified kind = classify(morpheme, surface);
        if (kind.whitespace) continue; // judged as part of the gap between its neighbours
        const bool adjacent = openBegin && morpheme.begin >= openEnd &&
                              joinableGap(text.substr(openEnd, morpheme.begin - openEnd));
        const bool noGap = openBegin && morpheme.begin == openEnd;
        if (adjacent && kind.tag != NameTag::other && kind.tag == tokens.back().tag) {
            openEnd = morpheme.end;
            continue;
        }
        if (noGap && kind.regionSuffix && tokens.back().tag == NameTag::placeName) {
            openEnd = morpheme.end;
            continue;
        }
        closeName();
        if (kind.symbol || surface.empty()) continue;
        tokens.push_back({std::string(surface), kind.tag});
        if (kind.tag != NameTag::other) {
            openBegin = morpheme.begin;
            openEnd = morpheme.end;
        }
    }
    closeName();
    return tokens;
}

/// libmecab, opened on first use so that runs without tagging never load it.
struct MecabNameTagger::Library {
    void* handle = nullptr;
    decltype(&mecab_new2) create = nullptr;
    decltype(&mecab_destroy) destroy = nullptr;
    decltype(&mecab_sparse_tonode2) parse = nullptr;
    mecab_t* tagger = nullptr;

    /// Nothing when the library or an IPADIC dictionary cannot be loaded.
    static std::unique_ptr<Library> open() {
        auto library = std::make_unique<Library>();
        library->handle = dlopen(mecabLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library->handle) return nullptr;
        library->create = reinterpret_cast<decltype(create)>(dlsym(library->handle, "mecab_new2"));
        library->destroy =
            reinterpret_cast<decltype(destroy)>(dlsym(library->handle, "mecab_destroy"));
        library->parse =
            reinterpret_cast<decltype(parse)>(dlsym(library->handle, "mecab_sparse_tonode2"));
        if (!library->create || !library->destroy || !library->parse) return nullptr;
        for (const char* arguments : taggerArguments) {
            library->tagger = library->create(arguments);
            if (library->tagger) return library;
        }
        return nullptr;
    }

    ~Library() {
        if (tagger) destroy(tagger);
        if (handle) dlclose(handle);
    }
};

MecabNameTagger::MecabNameTagger() = default;
MecabNameTagger::~MecabNameTagger() = default;

std::vector<NameToken> MecabNameTagger::tagNames(std::string_view text) {
    if (!triedToLoad_) {
        triedToLoad_ = true;
        library_ = Library::open();
    }
    const std::string sentence(text);
    std::vector<Morpheme> morphemes;
    const mecab_node_t* node =
        library_ ? library_->parse(library_->tagger, sentence.c_str(), sentence.size()) : nullptr;
    for (; node; node = node->next) {
        if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE) continue;
        const auto begin = static_cast<std::size_t>(node->surface - sentence.c_str());
        morphemes.push_back(
            {begin, begin + node->length, node->feature, node->stat == MECAB_UNK_NODE});
    }
    if (!library_) {
        // Without a dictionary every whitespace-separated word is an untagged token.
        std::size_t start = 0;
        while (start < sentence.size()) {
            const auto space = sentence.find(' ', start);
            const auto end = space == std::string::npos ? sentence.size() : space;
            if (end > start) morphemes.push_back({start, end, "", false});
            start = end + 1;
        }
    }
    return nameTokens(sentence, morphemes);
}
