// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowProgram.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qm {

namespace {
constexpr const char* kWindowProgram = "quillmark-window";
}

QString windowProgramFor(const QString& folder)
{
    const QDir dir(folder);
    const QString beside = dir.filePath(QLatin1String(kWindowProgram));
    if (QFileInfo(beside).isFile())
        return beside;
    return QDir::cleanPath(dir.filePath(QStringLiteral(QUILLMARK_WINDOW_FROM_BIN "/") + QLatin1String(kWindowProgram)));
}

int startWindowProgram(int startFolder, char** argv)
{
    const QString program = windowProgramFor(programFolder());
    const QByteArray path = QFile::encodeName(program);
    // The window reads the options again from where they were typed.
    if (startFolder >= 0 && ::fchdir(startFolder) != 0) {
        std::fprintf(stderr, "quillmark: cannot go back to the folder it was started in: %s\n", std::strerror(errno));
        return 1;
    }
    ::execv(path.constData(), argv);
    std::fprintf(stderr, "quillmark: %s (the window, and the commands that catalogue) cannot be started: %s\n",
        path.constData(), std::strerror(errno));
    return 1;
}

} // namespace qm
