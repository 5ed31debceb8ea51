// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program file's version values. On ELF systems they are stored as
// "Key=Value" strings, each ending in a NUL byte, in the section
// ".qm_version" of the executable, where `readelf -p .qm_version` shows them.
#include <QString>
#include <QStringList>

namespace qm::VersionResource {

// The section that holds the entries on ELF systems.
inline constexpr const char* kSectionName = ".qm_version";

// Every entry as stored, "Key=Value".
QStringList entries();
// The value of one entry; empty when there is none.
QString value(const QString& key);

// The numeric file version, as the About window shows it.
int majorVersion();
int minorVersion();
int revision();

} // namespace qm::VersionResource
