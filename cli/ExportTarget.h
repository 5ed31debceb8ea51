// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where `quillmark export --output` may write. A plain file is replaced only
// by a whole export (through a new file beside it); a pipe or a terminal is
// written to as a stream. The store and the files SQLite keeps beside it
// (whatever name or link leads to them), folders, devices and sockets are
// refused before anything is written.
#include <QString>

#include <memory>

#include <sys/stat.h>

class QIODevice;
class QFile;

namespace qm::cli {

class ExportTarget {
public:
    // Checks `path` against the store at `store` and opens it: a pipe waits
    // here for its reader. Null, with `problem` saying why and naming `path`
    // as given, when it may not be written.
    static std::unique_ptr<ExportTarget> open(const QString& path, const QString& store, QString& problem);
    // Standard output, unless it is the store or one of its files.
    static std::unique_ptr<ExportTarget> standardOutput(const QString& store, QString& problem);
    ~ExportTarget();
    ExportTarget(const ExportTarget&) = delete;
    ExportTarget& operator=(const ExportTarget&) = delete;

    QIODevice& device();
    // A pipe, a terminal or standard output: written as the text comes.
    bool isStream() const { return dirFd_ < 0; }
    // A pipe, a socket or a terminal: written at its reader's pace.
    bool pacedByReader() const { return paced_; }
    // A plain file: puts what was written in its place, unless the file was
    // changed into something else meanwhile. Empty when done.
    QString commit();

private:
    ExportTarget() = default;
    // Opens a new file beside `place`, which is to replace it.
    bool beside(const QByteArray& place, QString& problem);

    QString shown_;                // the target as the user named it
    std::unique_ptr<QFile> file_;  // what is written
    int dirFd_ = -1;               // a plain file's folder
    QByteArray name_;              // its name there
    QByteArray temporary_;         // the new file's name there, until committed
    bool existed_ = false;
    bool paced_ = false;
    struct stat was_ {};           // the file replaced, when it existed
};

} // namespace qm::cli
