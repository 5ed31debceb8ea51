// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How names are made comparable.
//
// A name comes in whatever form the disk that held it stored it: the same
// "é" is one character on one system and "e" followed by a combining accent
// on another. Without case, a name and a query word are compared in their
// Unicode NFKC_Casefold form: canonical and compatibility equivalents are one
// ("é" composed or not, "ﬁ" and "fi", full-width "Ａ" and "A"), case is
// folded fully ("ß", "ẞ" and "ss" are one), and characters that show nothing
// (soft hyphens, joiners) are left out. With case, only canonical
// equivalents are one: both sides are compared in NFC.
//
// Names that are not valid UTF-8 are compared as their bytes, their ASCII
// letters folded; ASCII names, the most of any disk, need no tables at all.
#include <string>
#include <string_view>

namespace qm::find {

bool isAscii(std::string_view text);
// fold() of a name known to be ASCII: its capitals made small.
std::string asciiFolded(std::string_view ascii);

// The form a search without case compares.
std::string fold(std::string_view utf8);

// The form a search with case compares (NFC).
std::string canonical(std::string_view utf8);

} // namespace qm::find
