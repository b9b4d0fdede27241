// A name tagger that answers from a table of texts; any other text has no names.
#pragma once

#include "platform/name_tagger.h"

#include <map>
#include <string>
#include <vector>

class FakeNameTagger : public NameTagger {
public:
    std::vector<NameToken> tagNames(std::string_view text) override {
        texts.emplace_back(text);
        const auto found = tokens.find(std::string(text));
        return found == tokens.end() ? std::vector<NameToken>{} : found->second;
    }

    std::map<std::string, std::vector<NameToken>> tokens; ///< text → its tokens
    std::vector<std::string> texts;                       ///< every text tagged, in order
};
