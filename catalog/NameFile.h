// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// dbase.name: the one-line file that names the catalogue the trees show. It
// lives in the program's folder, or where nameFilePath() (AppPaths.h) says.
#include <QString>

namespace qm::NameFile {

QString path();

// What reading the file gave.
struct Reading {
    QString name; // the first line, without its line end
    QString problem; // why the file could not be read, naming it; empty when it could
};

// The first line, without its line end. A missing or empty file reads as the
// empty name with no problem; a file that cannot be read (no permission, a
// folder, a FIFO or device) reads as the empty name with the problem told.
// Never waits for a writer.
Reading read();

// Replaces the file with exactly one line ending in CR LF. The new content is
// written beside the old file and then moved over it, so a failed write leaves
// the old name in place. Returns false on failure.
bool write(const QString& name);

// The name rules on raw bytes, for callers that hold the content already.
QString firstLine(const QByteArray& content);

} // namespace qm::NameFile
