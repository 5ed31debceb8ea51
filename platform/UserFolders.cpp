// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace qm {
namespace {

// "/" is nobody's own folder: folders made below it would be the system's.
bool usable(const QString& folder)
{
    return QDir::isAbsolutePath(folder) && QDir::cleanPath(folder) != QLatin1String("/");
}

QString fromEnvironment(const char* variable)
{
    const char* value = std::getenv(variable);
    return value ? QFile::decodeName(value) : QString();
}

QString baseFolder(const char* variable, const char* belowHome)
{
    const QString set = fromEnvironment(variable);
    if (QDir::isAbsolutePath(set))
        return QDir::cleanPath(set);
    const QString home = homeFolder();
    return home.isEmpty() ? QString() : home + QLatin1String(belowHome);
}

} // namespace

QString homeFolder()
{
    if (const QString home = fromEnvironment("HOME"); usable(home))
        return QDir::cleanPath(home);
    // Without HOME (a service, `env -i`, some sudo set-ups) the account still
    // has a home; one that does not exist ("/nonexistent") is not made.
    const struct passwd* account = ::getpwuid(::getuid());
    if (!account || !account->pw_dir)
        return {};
    const QString home = QFile::decodeName(account->pw_dir);
    return usable(home) && QFileInfo(home).isDir() ? QDir::cleanPath(home) : QString();
}

QString userConfigHome()
{
    return baseFolder("XDG_CONFIG_HOME", "/.config");
}

QString userDataHome()
{
    return baseFolder("XDG_DATA_HOME", "/.local/share");
}

QString userCacheHome()
{
    return baseFolder("XDG_CACHE_HOME", "/.cache");
}

QString noHomeFolderText()
{
    return QStringLiteral("no home folder is known (HOME is not set to a folder and the account has none)");
}

} // namespace qm
