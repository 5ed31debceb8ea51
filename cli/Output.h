// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands write: lines for people and scripts, and failures on
// standard error behind the program's name.
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace qm::cli {

// `text` and a line end, in the locale's encoding, flushed at once.
void printLine(std::FILE* stream, const QString& text);
// "quillmark: " and `text` on standard error.
void fail(const QString& text);
// A usage error: `text`, then the command's usage text; the exit status 2.
int usageError(const QString& text, const char* usage);

inline constexpr int kUsageStatus = 2;

// The operands of a command whose one option is --csv ("--" ends options).
// `exit` is set when the command is done already: -h printed its usage, or
// an unknown option was told as a usage error.
struct CsvOperands {
    QStringList operands;
    bool csv = false;
    std::optional<int> exit;
};
CsvOperands csvOperands(const QStringList& args, const char* usage);

} // namespace qm::cli
