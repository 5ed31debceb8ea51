// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/NameMatch.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace qm::find {
namespace {

size_t nextCharacter(std::string_view s, size_t i)
{
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        ++i;
    return i;
}

} // namespace

bool contains(std::string_view text, std::string_view part)
{
    return part.empty() || ::memmem(text.data(), text.size(), part.data(), part.size()) != nullptr;
}

bool fits(std::string_view name, const NamePattern& pattern, bool exact)
{
    const auto& tokens = pattern.tokens;
    size_t t = 0, at = 0;
    size_t starToken = std::string::npos, starAt = 0;
    for (;;) {
        if (t < tokens.size()) {
            const Token& token = tokens[t];
            if (token.kind == Token::Kind::AnyRun) {
                starToken = t++;
                starAt = at;
                continue;
            }
            if (token.kind == Token::Kind::AnyChar && at < name.size()) {
                at = nextCharacter(name, at);
                ++t;
                continue;
            }
            const std::string& text = exact ? token.exact : token.folded;
            if (token.kind == Token::Kind::Text && name.substr(at).starts_with(text)) {
                at += text.size();
                ++t;
                continue;
            }
        } else if (at == name.size()) {
            return true;
        }
        if (starToken == std::string::npos || starAt >= name.size())
            return false;
        starAt = nextCharacter(name, starAt);
        at = starAt;
        t = starToken + 1;
    }
}

bool hasAnyChar(const NamePattern& pattern)
{
    return std::any_of(pattern.tokens.begin(), pattern.tokens.end(),
        [](const Token& t) { return t.kind == Token::Kind::AnyChar; });
}

bool fitsFoldedByCharacter(std::string_view canonicalName, const NamePattern& pattern)
{
    // The folded name, and where each character of the name ends in it.
    std::string folded;
    std::vector<size_t> endOf; // by offset in `folded` where a character starts: where it ends, else 0
    for (size_t i = 0; i < canonicalName.size();) {
        const size_t next = nextCharacter(canonicalName, i);
        const size_t from = folded.size();
        folded += fold(canonicalName.substr(i, next - i));
        endOf.resize(folded.size() + 1, 0);
        if (folded.size() > from)
            endOf[from] = folded.size();
        i = next;
    }
    endOf.resize(folded.size() + 1, 0);

    // Which offsets the pattern's first t tokens can reach, token by token.
    const size_t length = folded.size();
    std::vector<char> reach(length + 1, 0), next(length + 1, 0);
    reach[0] = 1;
    for (const Token& token : pattern.tokens) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t at = 0; at <= length; ++at) {
            if (!reach[at])
                continue;
            switch (token.kind) {
            case Token::Kind::AnyRun:
                // Any run from here: every later offset.
                next[at] = 1;
                if (at < length)
                    reach[nextCharacter(folded, at)] = 1;
                break;
            case Token::Kind::AnyChar:
                if (at < length) {
                    next[nextCharacter(folded, at)] = 1;
                    if (endOf[at])
                        next[endOf[at]] = 1;
                }
                break;
            case Token::Kind::Text:
                if (std::string_view(folded).substr(at).starts_with(token.folded))
                    next[at + token.folded.size()] = 1;
                break;
            }
        }
        std::swap(reach, next);
    }
    return reach[length] != 0;
}

} // namespace qm::find
