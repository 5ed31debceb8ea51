// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark diff CATALOGUE-A TOP-A CATALOGUE-B TOP-B [--csv]`: two scans
// compared by relative path from the catalogue alone. Exit status 0 when
// they are the same, 1 when they differ, 2 on an error.
int runDiffCommand(const QStringList& args);
} // namespace qm
