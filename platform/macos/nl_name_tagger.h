#pragma once

#include "platform/macos/cf_ref.h"
#include "platform/name_tagger.h"

/// NaturalLanguage's name-type tagger, one instance reused for every text.
class NLNameTagger final : public NameTagger {
public:
    std::vector<NameToken> tagNames(std::string_view text) override;

private:
    CFRef<CFTypeRef> tagger_; ///< NLTagger, made on first use
};
