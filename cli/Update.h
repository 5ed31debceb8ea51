// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {

// quillmark update CATALOGUE TOP-FOLDER-KEY-OR-PATH [--force] [--archives] [--fingerprints]
int runUpdateCommand(const QStringList& args);

} // namespace qm
