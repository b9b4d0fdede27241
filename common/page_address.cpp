#include "common/page_address.h"

#include <cctype>
#include <optional>

namespace page_address {
namespace {

bool isSchemeCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

/// Length of the scheme before ':' at the start of `address`, if it has one.
std::optional<std::size_t> schemeLength(std::string_view address) {
    if (address.empty() || !std::isalpha(static_cast<unsigned char>(address.front())))
        return std::nullopt;
    std::size_t i = 1;
    while (i < address.size() && isSchemeCharacter(address[i]))
        ++i;
    if (i >= address.size() || address[i] != ':') return std::nullopt;
    return i;
}

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

/// "?name=&other=" for the named parameters of `query` (without its '?'); empty when none.
std::string queryNames(std::string_view query) {
    std::string out;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view parameter = query.substr(0, end);
        const std::size_t equals = parameter.find('=');
        if (equals != std::string_view::npos && equals > 0) {
            out += out.empty() ? '?' : '&';
            out.append(parameter.substr(0, equals));
            out += '=';
        }
        if (end == std::string_view::npos) break;
        query.remove_prefix(end + 1);
    }
    return out;
}

/// Path, then the query's names; the fragment goes.
std::string pathAndQueryNames(std::string_view rest) {
    rest = rest.substr(0, rest.find('#'));
    const std::size_t question = rest.find('?');
    std::string out(rest.substr(0, question));
    if (question != std::string_view::npos) out += queryNames(rest.substr(question + 1));
    return out;
}

/// Host and port of an authority, without its user information.
std::string_view hostAndPort(std::string_view authority) {
    const std::size_t at = authority.rfind('@');
    return at == std::string_view::npos ? authority : authority.substr(at + 1);
}

} // namespace

std::string withoutUserContent(std::string_view address) {
    const auto scheme = schemeLength(address);
    if (!scheme) return pathAndQueryNames(address);
    const std::string name = lowercase(address.substr(0, *scheme));
    std::string_view rest = address.substr(*scheme + 1);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t authorityEnd = rest.find_first_of("/?#");
        std::string out = name + "://";
        out.append(hostAndPort(rest.substr(0, authorityEnd)));
        if (authorityEnd != std::string_view::npos)
            out += pathAndQueryNames(rest.substr(authorityEnd));
        return out;
    }
    if (name == "about") return name + ":" + pathAndQueryNames(rest);
    if (name == "blob" || name == "view-source") return name + ":" + withoutUserContent(rest);
    return name + ":";
}

std::string shortenAddressesIn(std::string_view text) {
    std::string out;
    std::size_t copied = 0;
    std::size_t search = 0;
    while (true) {
        const std::size_t marker = text.find("://", search);
        if (marker == std::string_view::npos) break;
        std::size_t start = marker;
        while (start > copied && isSchemeCharacter(text[start - 1]))
            --start;
        if (start == marker || !std::isalpha(static_cast<unsigned char>(text[start]))) {
            search = marker + 3;
            continue;
        }
        std::size_t end = marker + 3;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
            ++end;
        out.append(text.substr(copied, start - copied));
        out += withoutUserContent(text.substr(start, end - start));
        copied = end;
        search = end;
    }
    out.append(text.substr(copied));
    return out;
}

} // namespace page_address
