// Name-type tagging of text: persons, organizations and places.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class NameTag { personalName, organizationName, placeName, other };

/// One word token, or one joined multi-word name.
struct NameToken {
    std::string text; ///< the token as it stands in the tagged text, valid UTF-8
    NameTag tag = NameTag::other;
};

class NameTagger {
public:
    virtual ~NameTagger() = default;
    /// Tags every word of `text` in order, punctuation and whitespace omitted, adjacent
    /// name words joined into one token. Untagged words come back as `NameTag::other`.
    virtual std::vector<NameToken> tagNames(std::string_view text) = 0;
};
