// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the system tells of the disk a path lives on: its volume label, the
// file system's identifier, its type, size and free space, where it is
// mounted and from which device. Asked of the system directly, without
// running a program: QStorageInfo, udev's /dev/disk links, statfs,
// libblkid reading the device's superblock where udev keeps no links, and
// UDisks2 over D-Bus where the superblock cannot be read (no root).
#include <QString>

#include <cstdint>
#include <vector>

namespace qm {

struct DiskIdentity {
    QString label; // empty when the volume has none
    // The file system's UUID; where it has none that can be read, the
    // identifier statfs gives, as "fsid:" and 16 hex digits; else empty.
    QString uuid;
    QString fsType;
    QString mountPoint;
    QString device;
    std::int64_t totalBytes = -1; // -1 when unknown
    std::int64_t freeBytes = -1; // what a user may still write
    bool known() const { return !mountPoint.isEmpty(); }
};

// The disk `path` lives on; not known() when the path is not there. Where
// several file systems are mounted on one folder, the one on top (the one a
// path reaches) is told.
DiskIdentity diskOf(const QString& path);

// Whether a file system is mounted on `folder` itself now: it lies on
// another device than its parent, or the mount table has a mount there (a
// folder bound onto it); the root folder always is. False when the folder
// is not there.
bool isMountPoint(const QString& folder);

// The disks mounted now, one for each folder something is mounted on (the
// one on top), in the mount table's order. File systems of the kernel's own
// (proc, sysfs, cgroups …) and those of the network, which may not answer,
// are left out.
std::vector<DiskIdentity> mountedDisks();

} // namespace qm
