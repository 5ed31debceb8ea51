#include "platform/DiskIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <blkid/blkid.h>
#include <sys/statfs.h>

namespace qm {
namespace {

// The name of the link in a /dev/disk folder that points at `device`.
QString udevName(const QString& folder, const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir links(folder);
    for (const QFileInfo& link : links.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.canonicalFilePath() == target)
            return link.fileName().replace(QStringLiteral("\\x20"), QStringLiteral(" "));
    return {};
}

// Label and UUID from the device's superblock; needs read access to it.
void probeSuperblock(const QString& device, DiskIdentity& disk)
{
    if (!device.startsWith(QLatin1String("/dev/")))
        return;
    blkid_probe probe = blkid_new_probe_from_filename(QFile::encodeName(device).constData());
    if (!probe)
        return;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
    if (blkid_do_safeprobe(probe) == 0) {
        const char* value = nullptr;
        if (disk.label.isEmpty() && blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0)
            disk.label = QString::fromUtf8(value);
        if (disk.uuid.isEmpty() && blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0)
            disk.uuid = QString::fromUtf8(value);
    }
    blkid_free_probe(probe);
}

QString fsidOf(const QString& path)
{
    struct statfs info { };
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const auto words = reinterpret_cast<const unsigned*>(&info.f_fsid);
    if (words[0] == 0 && words[1] == 0)
        return {};
    const auto hex = [](unsigned word) { return QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0')); };
    return QStringLiteral("fsid:") + hex(words[0]) + hex(words[1]);
}

} // namespace

DiskIdentity diskOf(const QString& path)
{
    DiskIdentity disk;
    QStorageInfo storage(path);
    if (!storage.isValid() || !QFileInfo::exists(path))
        return disk;
    disk.mountPoint = storage.rootPath();
    disk.device = QString::fromLocal8Bit(storage.device());
    disk.fsType = QString::fromLatin1(storage.fileSystemType());
    disk.totalBytes = storage.bytesTotal();
    disk.freeBytes = storage.bytesAvailable();
    disk.label = storage.name();
    if (disk.label.isEmpty())
        disk.label = udevName(QStringLiteral("/dev/disk/by-label"), disk.device);
    disk.uuid = udevName(QStringLiteral("/dev/disk/by-uuid"), disk.device);
    if (disk.label.isEmpty() || disk.uuid.isEmpty())
        probeSuperblock(disk.device, disk);
    if (disk.uuid.isEmpty())
        disk.uuid = fsidOf(path);
    return disk;
}

} // namespace qm
