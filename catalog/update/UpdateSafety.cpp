// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/update/UpdateSafety.h"

#include "platform/Numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {
namespace {

QString cleanFolder(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Whether the folder `path` lies at or below the mount point `mountPoint`.
bool below(const QString& mountPoint, const QString& path)
{
    const QString mount = cleanFolder(mountPoint);
    return mount == QLatin1String("/") || path == mount || path.startsWith(mount + u'/');
}

// "ext4, 29.8 GB", as much of it as is known.
QString kindAndSize(const DiskIdentity& disk)
{
    QStringList about;
    if (!disk.fsType.isEmpty())
        about << disk.fsType;
    if (disk.totalBytes > 0)
        about << readableSize(static_cast<std::uint64_t>(disk.totalBytes));
    return about.join(QStringLiteral(", "));
}

// Same file system, as far as the two identities tell.
bool sameFileSystem(const DiskIdentity& then, const DiskIdentity& now)
{
    if (!then.uuid.isEmpty() && !now.uuid.isEmpty())
        return then.uuid == now.uuid;
    // Without an identifier on one side, where each was mounted tells.
    return cleanFolder(then.mountPoint) == cleanFolder(now.mountPoint);
}

} // namespace

QString diskInPlainWords(const DiskIdentity& disk)
{
    const QString about = kindAndSize(disk);
    if (disk.label.isEmpty())
        return about.isEmpty() ? QStringLiteral("a disk without a label")
                               : QStringLiteral("a disk without a label (") + about + u')';
    QString text = QStringLiteral("the disk \"") + disk.label + u'"';
    if (!about.isEmpty())
        text += QStringLiteral(" (") + about + u')';
    return text;
}

QString diskReason(const std::optional<ScanInfo>& recorded, const QString& folder, const QString& path,
    const DiskIdentity& now)
{
    if (!recorded || !recorded->disk.known())
        return {};
    const DiskIdentity& then = recorded->disk;
    QString thenText = diskInPlainWords(then);
    thenText[0] = thenText[0].toUpper();
    const QString where = cleanFolder(path);
    // A mount point the folder was below holds nothing now: the folder is
    // on the disk of the folder above, or not there at all.
    if (below(then.mountPoint, where) && cleanFolder(then.mountPoint) != QLatin1String("/")
        && !isMountPoint(then.mountPoint))
        return thenText + QStringLiteral(" that ") + folder
            + QStringLiteral(" was catalogued from is not mounted there now.");
    if (now.known() && !sameFileSystem(then, now))
        return thenText + QStringLiteral(" that ") + folder
            + QStringLiteral(" was catalogued from is not there now; another disk is: ") + diskInPlainWords(now)
            + u'.';
    return {};
}

QString riskText(const UpdateRisk& risk)
{
    const QLocale locale = figureLocale();
    QString text = risk.reason + QStringLiteral(" Updating would remove ") + locale.toString(risk.removed)
        + (risk.removed == 1 ? QStringLiteral(" record") : QStringLiteral(" records"));
    if (risk.notes > 0)
        text += QStringLiteral(" and the ") + locale.toString(risk.notes)
            + (risk.notes == 1 ? QStringLiteral(" note attached to it") : QStringLiteral(" notes attached to them"));
    return text + u'.';
}

std::int64_t notesOn(SQLite::Database& db, const std::unordered_set<std::string>& keys)
{
    if (keys.empty())
        return 0;
    // Notes are few beside records: their keys are read once, not looked up per record.
    SQLite::Statement st(db,
        "SELECT ID FROM Projects WHERE ID IS NOT NULL UNION ALL SELECT ID FROM Documents WHERE ID IS NOT NULL "
        "UNION ALL SELECT ID FROM InstallNUpdate WHERE ID IS NOT NULL");
    std::int64_t count = 0;
    std::string key;
    while (st.executeStep()) {
        const SQLite::Column c = st.getColumn(0);
        key.assign(c.getText(), static_cast<size_t>(c.getBytes()));
        count += keys.count(key) ? 1 : 0;
    }
    return count;
}

} // namespace qm
