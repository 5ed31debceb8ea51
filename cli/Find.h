// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark find QUERY [--catalogue NAME] [--limit N] [--csv] [--case-sensitive]`:
// the Find window's search without a window. `args` are the words after
// "find". Prints the hits, one per line; returns 0 with hits, 1 with none, 2
// for a bad query, a usage error or a store that cannot be searched.
int runFindCommand(const QStringList& args);
// Where the search index of the store in the current folder lives, as a line for people.
QString searchIndexLine();
} // namespace qm
