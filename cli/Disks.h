// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark disks [--csv]`: one row per scan with its disk, whether the disk
// is connected now, and where it is kept; `--set-location SCAN TEXT` and
// `--set-note SCAN TEXT` write those. Returns the exit status.
int runDisksCommand(const QStringList& args);
} // namespace qm
