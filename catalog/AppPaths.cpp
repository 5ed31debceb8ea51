#include "catalog/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

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

QString absolute(const QString& file) { return file.isEmpty() ? file : QFileInfo(file).absoluteFilePath(); }

// The same folder whichever name the application was given, so the window,
// the command line and the launcher agree.
QString userFolder(QStandardPaths::StandardLocation generic)
{
    return QStandardPaths::writableLocation(generic) + QStringLiteral("/quillmark");
}

} // namespace

QString programFolder()
{
    if (!overrides().programFolder.isEmpty())
        return overrides().programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void setProgramFolder(const QString& folder) { overrides().programFolder = folder; }

QString configFolder() { return userFolder(QStandardPaths::GenericConfigLocation); }

QString dataFolder() { return userFolder(QStandardPaths::GenericDataLocation); }

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
    const QString folder = programFolder();
    return QDir(canCreateFilesIn(folder) ? folder : configFolder()).filePath(QStringLiteral("dbase.name"));
}

QString databasePath()
{
    if (!overrides().databaseFile.isEmpty())
        return overrides().databaseFile;
    return QDir::current().absoluteFilePath(QStringLiteral("database.mdb"));
}

void setNameFile(const QString& file) { overrides().nameFile = absolute(file); }

void setDatabaseFile(const QString& file) { overrides().databaseFile = absolute(file); }

} // namespace qm
