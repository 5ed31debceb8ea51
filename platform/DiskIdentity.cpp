// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DiskIdentity.h"

#include "platform/UDisks.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <blkid/blkid.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <set>
#include <string>

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

// A field of /proc/self/mountinfo with its octal escapes ("\040") undone.
std::string unescaped(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3') {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

struct MountEntry {
    std::string mountPoint, fsType, source;
    dev_t device = 0;
};

bool contains(const std::string& mountPoint, const std::string& path)
{
    if (mountPoint == "/")
        return true;
    return path.starts_with(mountPoint) && (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The mount a path reaches. Mounts are listed in the order they were made,
// and a later mount on the folder or on a folder above it hides what was
// there: the last one containing the path is on top. When its device is not
// the path's own (mounts made in an odd order), the last that is wins.
std::optional<MountEntry> mountOf(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    std::ifstream mounts("/proc/self/mountinfo");
    std::optional<MountEntry> last, lastOfDevice;
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, mountPoint, field;
        if (!(fields >> id >> parent >> majorMinor >> root >> mountPoint))
            continue;
        while (fields >> field && field != "-") { } // options and optional fields
        MountEntry entry;
        if (!(fields >> entry.fsType >> entry.source))
            continue;
        entry.mountPoint = unescaped(mountPoint);
        if (!contains(entry.mountPoint, path))
            continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(majorMinor.c_str(), "%u:%u", &major, &minor) == 2)
            entry.device = makedev(major, minor);
        entry.source = unescaped(entry.source);
        if (entry.device == st.st_dev)
            lastOfDevice = entry;
        last = std::move(entry);
    }
    if (last && last->device != st.st_dev && lastOfDevice)
        return lastOfDevice;
    return last;
}

} // namespace

DiskIdentity diskOf(const QString& path)
{
    DiskIdentity disk;
    if (!QFileInfo::exists(path))
        return disk;
    const QByteArray local = QFile::encodeName(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (const auto mount = mountOf(std::string(local.constData(), static_cast<size_t>(local.size())))) {
        disk.mountPoint = QFile::decodeName(QByteArray::fromStdString(mount->mountPoint));
        disk.device = QFile::decodeName(QByteArray::fromStdString(mount->source));
        disk.fsType = QString::fromLatin1(mount->fsType);
        struct statvfs space { };
        if (::statvfs(local.constData(), &space) == 0) {
            disk.totalBytes = static_cast<std::int64_t>(space.f_blocks) * static_cast<std::int64_t>(space.f_frsize);
            disk.freeBytes = static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
        }
    } else {
        // Without the kernel's mount table: what Qt tells.
        QStorageInfo storage(path);
        if (!storage.isValid())
            return disk;
        disk.mountPoint = storage.rootPath();
        disk.device = QString::fromLocal8Bit(storage.device());
        disk.fsType = QString::fromLatin1(storage.fileSystemType());
        disk.totalBytes = storage.bytesTotal();
        disk.freeBytes = storage.bytesAvailable();
        disk.label = storage.name();
    }
    if (disk.label.isEmpty())
        disk.label = udevName(QStringLiteral("/dev/disk/by-label"), disk.device);
    disk.uuid = udevName(QStringLiteral("/dev/disk/by-uuid"), disk.device);
    if (disk.label.isEmpty() || disk.uuid.isEmpty())
        probeSuperblock(disk.device, disk);
    // An ordinary user may not read the device; UDisks2 may tell.
    if (disk.uuid.isEmpty() && disk.device.startsWith(QLatin1String("/dev/")))
        askUDisks(disk.device, disk);
    if (disk.uuid.isEmpty())
        disk.uuid = fsidOf(path);
    return disk;
}

bool isMountPoint(const QString& folder)
{
    const QByteArray local = QFile::encodeName(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    struct stat self { }, parent { };
    if (::stat(local.constData(), &self) != 0 || !S_ISDIR(self.st_mode))
        return false;
    if (::stat((local + "/..").constData(), &parent) != 0)
        return false;
    if (self.st_dev != parent.st_dev || self.st_ino == parent.st_ino)
        return true;
    // A folder of a file system bound onto a folder of the same one: the
    // devices agree, the kernel's mount table tells.
    const auto mount = mountOf(std::string(local.constData(), static_cast<size_t>(local.size())));
    return mount && mount->mountPoint == local.toStdString();
}

std::vector<DiskIdentity> mountedDisks()
{
    static const std::set<std::string> skipped {"proc", "sysfs", "cgroup", "cgroup2", "devpts", "mqueue",
        "securityfs", "debugfs", "tracefs", "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "devtmpfs", "nfs", "nfs4", "cifs", "smb3", "smbfs",
        "afs", "ceph", "9p", "fuse.sshfs", "fuse.rclone", "davfs", "fuse.gvfsd-fuse", "fuse.portal"};
    std::vector<std::string> folders;
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, mountPoint, field, fsType;
        if (!(fields >> id >> parent >> majorMinor >> root >> mountPoint))
            continue;
        while (fields >> field && field != "-") { }
        if (!(fields >> fsType) || skipped.count(fsType))
            continue;
        const std::string folder = unescaped(mountPoint);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    std::vector<DiskIdentity> disks;
    for (const std::string& folder : folders) {
        DiskIdentity disk = diskOf(QFile::decodeName(QByteArray::fromStdString(folder)));
        if (disk.known() && disk.mountPoint == QFile::decodeName(QByteArray::fromStdString(folder)))
            disks.push_back(std::move(disk));
    }
    return disks;
}

} // namespace qm
