#pragma once
// dbase.name: the one-line file in the program's folder that names the
// catalogue the trees show.
#include <QString>

namespace qm::NameFile {

QString path();

// The first line, without its line end. A missing or empty file reads as the
// empty name.
QString read();

// Replaces the file with exactly one line ending in CR LF. The new content is
// written beside the old file and then moved over it, so a failed write leaves
// the old name in place. Returns false on failure.
bool write(const QString& name);

// The name rules on raw bytes, for callers that hold the content already.
QString firstLine(const QByteArray& content);

} // namespace qm::NameFile
