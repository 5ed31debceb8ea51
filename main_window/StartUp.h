// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace qm {
// Makes sure `path` is a usable catalogue before the main window opens: a
// missing file is offered to be created empty; any other problem is named in
// a message and the file is left alone. True when the program can go on.
bool checkStoreAtStart(const QString& path);
} // namespace qm
