// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {

// quillmark check [--recover NEW.mdb]
int runCheckCommand(const QStringList& args);

} // namespace qm
