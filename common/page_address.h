// Page addresses without what a person typed into them: a query's values and the fragment
// carry search terms, form fields and message ids as often as not.
#pragma once

#include <string>
#include <string_view>

namespace page_address {

/// `address` with its scheme, host, port and path, and the names of its query parameters:
/// "https://user:pw@example.com:8080/search?q=abc&lang=en#top" gives
/// "https://example.com:8080/search?q=&lang=". A parameter without "=" is a value, not a
/// name, and is left out; so is a query left empty. Addresses without an authority keep
/// only their scheme ("data:", "mailto:", "javascript:"), except "about:" pages, which keep
/// their name, and "blob:" and "view-source:", which wrap an address shortened the same way.
/// Text without a scheme is treated as a path with an optional query and fragment.
std::string withoutUserContent(std::string_view address);

/// `text` with every address in it ("scheme://" up to the next white space) shortened by
/// `withoutUserContent`; the rest of the text is unchanged.
std::string shortenAddressesIn(std::string_view text);

} // namespace page_address
