// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark list [--catalogue NAME]`: the catalogues of database.mdb and,
// for each scan, its top folder, disk, scan date, records and size. `args`
// are the words after "list". Returns the exit status.
int runListCommand(const QStringList& args);
} // namespace qm
