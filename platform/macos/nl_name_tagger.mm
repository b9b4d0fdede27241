#include "platform/macos/nl_name_tagger.h"

#include "platform/macos/ns_string.h"

#import <Foundation/Foundation.h>
#import <NaturalLanguage/NaturalLanguage.h>

namespace {

NameTag mapTag(NLTag tag) {
    if ([tag isEqualToString:NLTagPersonalName]) return NameTag::personalName;
    if ([tag isEqualToString:NLTagOrganizationName]) return NameTag::organizationName;
    if ([tag isEqualToString:NLTagPlaceName]) return NameTag::placeName;
    return NameTag::other;
}

} // namespace

std::vector<NameToken> NLNameTagger::tagNames(std::string_view text) {
    @autoreleasepool {
        if (!tagger_) {
            NLTagger* created = [[NLTagger alloc] initWithTagSchemes:@[ NLTagSchemeNameType ]];
            tagger_ = CFRef<CFTypeRef>(CFBridgingRetain(created));
        }
        NLTagger* tagger = (__bridge NLTagger*)tagger_.get();
        NSString* string = toNSString(text);
        tagger.string = string;
        __block std::vector<NameToken> tokens;
        const NLTaggerOptions options =
            NLTaggerOmitPunctuation | NLTaggerOmitWhitespace | NLTaggerJoinNames;
        [tagger enumerateTagsInRange:NSMakeRange(0, string.length)
                                unit:NLTokenUnitWord
                              scheme:NLTagSchemeNameType
                             options:options
                          usingBlock:^(NLTag tag, NSRange range, BOOL* stop) {
                            (void)stop;
                            NameToken token;
                            token.text =
                                optionalString([string substringWithRange:range]).value_or("");
                            token.tag = tag ? mapTag(tag) : NameTag::other;
                            tokens.push_back(std::move(token));
                          }];
        return tokens;
    }
}
