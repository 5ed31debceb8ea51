// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands write: lines for people and scripts, and failures on
// standard error behind the program's name.
#include <QString>

#include <cstdio>

namespace qm::cli {

// `text` and a line end, in the locale's encoding, flushed at once.
void printLine(std::FILE* stream, const QString& text);
// "quillmark: " and `text` on standard error.
void fail(const QString& text);
// A usage error: `text`, then the command's usage text; the exit status 2.
int usageError(const QString& text, const char* usage);

inline constexpr int kUsageStatus = 2;

} // namespace qm::cli
