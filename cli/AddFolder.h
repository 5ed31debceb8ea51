// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark add-folder FOLDER [--name CATALOGUE]`: the folder scan without a
// window. `args` are the words after "add-folder". Returns the exit status.
int runAddFolderCommand(const QStringList& args);
} // namespace qm
