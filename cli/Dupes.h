// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark dupes [--catalogue NAME]… [--min-size SIZE] [--csv]`: the
// groups of files with the same size and contents across every catalogue
// and disk, most wasted bytes first. `args` are the words after "dupes".
// Returns the exit status.
int runDupesCommand(const QStringList& args);
} // namespace qm
