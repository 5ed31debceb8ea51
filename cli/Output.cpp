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

CsvOperands csvOperands(const QStringList& args, const char* usage)
{
    CsvOperands out;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(usage, stdout);
            out.exit = 0;
            return out;
        }
        if (a == QLatin1String("--")) {
            out.operands += args.mid(i + 1);
            break;
        }
        if (a == QLatin1String("--csv"))
            out.csv = true;
        else if (a.startsWith(u'-') && a.size() > 1) {
            out.exit = usageError(QStringLiteral("unknown option ") + a + u'.', usage);
            return out;
        } else
            out.operands << a;
    }
    return out;
}

} // namespace qm::cli
