// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A name against a word of the query, in the forms Folding.h gives.
#include "find/Query.h"

#include <string_view>

namespace qm::find {

// Whether `text` holds `part` (an empty part is in every text).
bool contains(std::string_view text, std::string_view part);

// Whether the whole name fits a wildcard pattern: "?" is one character, "*"
// any run. `exact`: the name is in its canonical form and the pattern's exact
// texts are compared; otherwise both are folded.
bool fits(std::string_view name, const NamePattern& pattern, bool exact);

// Folding may turn one character into several ("ß" into "ss", "ﬁ" into
// "fi"); a "?" should still stand for what the user sees as one. This fits
// a canonical name, folded a character at a time, letting "?" take either
// one folded character or all that one character of the name became.
bool fitsFoldedByCharacter(std::string_view canonicalName, const NamePattern& pattern);

// Whether a pattern holds a "?".
bool hasAnyChar(const NamePattern& pattern);

} // namespace qm::find
