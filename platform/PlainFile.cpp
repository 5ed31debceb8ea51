// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlainFile.h"

#include <QFile>

#include <sys/stat.h>

namespace qm {

QString notAPlainFile(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    const char* what = S_ISDIR(st.st_mode) ? "a folder"
        : S_ISFIFO(st.st_mode)             ? "a FIFO (a named pipe)"
        : S_ISCHR(st.st_mode)              ? "a character device"
        : S_ISBLK(st.st_mode)              ? "a block device"
        : S_ISSOCK(st.st_mode)             ? "a socket"
                                           : "not a plain file";
    return QStringLiteral("it is ") + QLatin1String(what) + QStringLiteral(", not a file");
}

} // namespace qm
