// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark verify CATALOGUE TOP [--csv]`: the mounted disk walked and read
// again and checked against its scan; the store is only read. Exit status 0
// when everything is as catalogued, 1 when anything differs or could not be
// read, 2 on an error, 130 when interrupted.
int runVerifyCommand(const QStringList& args);
} // namespace qm
