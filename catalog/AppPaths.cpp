#include "catalog/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace qm {
namespace {
QString& programFolderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void setProgramFolder(const QString& folder) { programFolderOverride() = folder; }

QString databasePath() { return QDir::current().absoluteFilePath(QStringLiteral("database.mdb")); }

} // namespace qm
