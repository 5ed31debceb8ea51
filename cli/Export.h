// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

namespace qm {
// `quillmark export CATALOGUE [--format csv|json] [--output FILE]`: every
// record of a catalogue, to standard output or to FILE. `args` are the words
// after "export". Returns the exit status.
int runExportCommand(const QStringList& args);
} // namespace qm
