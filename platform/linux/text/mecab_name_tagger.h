// Name tagging with MeCab and the IPADIC dictionary.
#pragma once

#include "platform/name_tagger.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// One MeCab morpheme, as the tagger needs it.
struct Morpheme {
    std::size_t begin = 0; ///< byte offset of the surface in the text
    std::size_t end = 0;   ///< byte offset just after it
    std::string feature;   ///< IPADIC CSV: part of speech, subclasses, …
    bool unknown = false;  ///< not in the dictionary (MeCab guessed its class)
};

/// Turns morphemes into name tokens: person (人名), organization (組織) and region (地域)
/// proper nouns are names; adjacent names of one class, also across a single whitespace
/// character, and region suffixes (都, 区, 町…) after a region become one token with the
/// text as written; a legal form (株式会社, 有限会社, （株）…) and the nouns it qualifies,
/// before or after it, become one organization token, whatever the nouns' own classes;
/// symbols are dropped; unknown Latin words are never names.
std::vector<NameToken> nameTokens(std::string_view text, const std::vector<Morpheme>& morphemes);

class MecabNameTagger final : public NameTagger {
public:
    MecabNameTagger();
    ~MecabNameTagger() override;
    MecabNameTagger(const MecabNameTagger&) = delete;
    MecabNameTagger& operator=(const MecabNameTagger&) = delete;

    /// Tags the words of `text`; every word comes back untagged when no dictionary loads.
    std::vector<NameToken> tagNames(std::string_view text) override;

private:
    struct Library;
    std::unique_ptr<Library> library_; ///< libmecab and a tagger, made on first use
    bool triedToLoad_ = false;
};
