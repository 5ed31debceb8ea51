// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Telling, before anything is opened, that a path names something other than
// a plain file: opening a FIFO waits for a writer, and a device or a folder is
// never the program's to read as a file or write over.
#include <QString>

namespace qm {

// Empty when `path` (its link followed) is a plain file or nothing at all;
// otherwise what it is, as "it is a FIFO (a named pipe), not a file". Opens
// nothing.
QString notAPlainFile(const QString& path);

} // namespace qm
