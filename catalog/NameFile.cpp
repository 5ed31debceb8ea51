// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/NameFile.h"

#include "platform/AppPaths.h"
#include "platform/FileSystem.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::NameFile {
namespace {

// Reads up to the first CR, or the whole file. 0 or an errno value; -1 when
// the path names something other than a plain file.
int readFirstLine(const QString& file, QByteArray& content, mode_t& type)
{
    // A FIFO opened without O_NONBLOCK would wait for a writer. The file is
    // looked at through the descriptor it was opened as: a concurrent
    // replacement gives the old file or the new one, never a mix.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st { };
    int error = ::fstat(fd, &st) == 0 ? 0 : errno;
    type = st.st_mode & S_IFMT;
    if (error == 0 && !S_ISREG(st.st_mode))
        error = -1;
    char buffer[4096];
    while (error == 0 && !content.contains('\r')) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            content.append(buffer, got);
        else if (got == 0)
            break;
        else if (errno != EINTR)
            error = errno;
    }
    ::close(fd);
    return error;
}

} // namespace

QString path() { return nameFilePath(); }

QString firstLine(const QByteArray& content)
{
    // A line ends at the first CR; the LF of a CR LF pair is part of that end.
    // A lone LF is not a line end here, it belongs to the name.
    const qsizetype cr = content.indexOf('\r');
    return QString::fromUtf8(cr < 0 ? content : content.left(cr));
}

Reading read()
{
    const QString file = path();
    if (file.isEmpty())
        return {{},
            QStringLiteral("The catalogue name file dbase.name has no place: ") + noHomeFolderText()
                + QStringLiteral(". Name it with --name-file.")};
    QByteArray content;
    mode_t type = 0;
    const int error = readFirstLine(file, content, type);
    if (error == 0)
        return {firstLine(content), {}};
    if (error == ENOENT)
        return {};
    const QString why = error > 0 ? errorText(error)
        : type == S_IFDIR         ? QStringLiteral("it is a folder, not a file")
                                  : QStringLiteral("it is not a plain file");
    return {{}, QStringLiteral("The catalogue name file %1 cannot be read: %2.").arg(file, why)};
}

bool write(const QString& name)
{
    const QString target = path();
    if (target.isEmpty())
        return false; // no home folder: nothing is written anywhere else
    // An installed copy's first write makes the user's configuration folder.
    if (QFileInfo(target).absolutePath() == configFolder())
        QDir().mkpath(configFolder());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = name.toUtf8() + "\r\n";
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace qm::NameFile
