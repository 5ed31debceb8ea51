// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Output.h"

namespace qm::cli {

void printLine(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void fail(const QString& text)
{
    printLine(stderr, QStringLiteral("quillmark: ") + text);
}

int usageError(const QString& text, const char* usage)
{
    fail(text);
    std::fputs(usage, stderr);
    return kUsageStatus;
}

} // namespace qm::cli
