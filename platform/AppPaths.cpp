// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppPaths.h"

#include "platform/UserFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

struct Overrides {
    QString programFolder;
    QString nameFile;
    QString databaseFile;
};

Overrides& overrides()
{
    static Overrides o;
    return o;
}

QString absolute(const QString& file)
{
    return file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
}

// The same folder whichever name the application was given, so the window,
// the command line and the launcher agree.
QString ownFolderIn(const QString& base)
{
    return base.isEmpty() ? base : base + QStringLiteral("/quillmark");
}

// Whether anything at all is at `path`; a dangling link counts, so that what
// is wrong with it is told rather than another file used.
bool entryExists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString currentFoldersStore()
{
    return QDir::current().absoluteFilePath(QStringLiteral("database.mdb"));
}

QString dataFoldersStore()
{
    const QString folder = dataFolder();
    return folder.isEmpty() ? folder : folder + QStringLiteral("/database.mdb");
}

} // namespace

QString programFolder()
{
    if (!overrides().programFolder.isEmpty())
        return overrides().programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists (the options are read first).
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (const QString program = self.canonicalFilePath(); !program.isEmpty())
        return QFileInfo(program).absolutePath();
    return QDir::currentPath();
}

void setProgramFolder(const QString& folder)
{
    overrides().programFolder = folder;
}

bool isInstalledCopy()
{
    // Not whether the folder can be written to: root can write anywhere, and
    // a copy in ~/.local/bin is its user's to write.
    const QDir folder(programFolder());
    if (folder.dirName() == QLatin1String("bin"))
        return QFileInfo(folder.absoluteFilePath(QStringLiteral("../share"))).isDir();
    // The window program, which an installed `quillmark` keeps in
    // <prefix>/libexec/quillmark.
    QDir up = folder;
    return folder.dirName() == QLatin1String("quillmark") && up.cdUp()
        && up.dirName() == QLatin1String("libexec")
        && QFileInfo(up.absoluteFilePath(QStringLiteral("../share"))).isDir();
}

QString configFolder()
{
    return ownFolderIn(userConfigHome());
}

QString dataFolder()
{
    return ownFolderIn(userDataHome());
}

bool canCreateFilesIn(const QString& folder)
{
    QByteArray probe = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".quillmark-probe-XXXXXX")));
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

QString nameFilePath()
{
    if (!overrides().nameFile.isEmpty())
        return overrides().nameFile;
    const QString program = programFolder();
    if (!isInstalledCopy() && canCreateFilesIn(program))
        return QDir(program).filePath(QStringLiteral("dbase.name"));
    const QString folder = configFolder();
    return folder.isEmpty() ? folder : folder + QStringLiteral("/dbase.name");
}

QString databasePath()
{
    if (!overrides().databaseFile.isEmpty())
        return overrides().databaseFile;
    return databaseIsTheDataFolders() ? dataFoldersStore() : currentFoldersStore();
}

bool databaseIsTheDataFolders()
{
    if (!overrides().databaseFile.isEmpty() || entryExists(currentFoldersStore()) || !isInstalledCopy())
        return false;
    const QString store = dataFoldersStore();
    // Started in the data folder itself (as by the menu), the two are one.
    return !store.isEmpty() && store != currentFoldersStore();
}

void setNameFile(const QString& file)
{
    overrides().nameFile = absolute(file);
}

void setDatabaseFile(const QString& file)
{
    overrides().databaseFile = absolute(file);
}

} // namespace qm
