// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// UDisks2, asked over the system bus, for what a block device's superblock
// says when this program may not read the device itself (an ordinary user):
// the daemon reads it as root and tells anyone its label, UUID and type.
#include "platform/DiskIdentity.h"

#include <QString>

namespace qm {

// Fills the empty ones of `disk`'s label, UUID and file-system type from
// UDisks2's record of `device` (a /dev path). False, with `disk` as it was,
// when there is no system bus, no UDisks2 on it, or it knows no such device;
// each call waits at most a second or two.
bool askUDisks(const QString& device, DiskIdentity& disk);

// The object name UDisks2 gives the block device named `name` in /dev
// ("sdb1", "dm-0"): every byte outside [A-Za-z0-9] written as "_" and two hex
// digits, so that any name makes a valid object path.
QString udisksObjectName(const QByteArray& name);

} // namespace qm
