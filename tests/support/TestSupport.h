// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared test fixtures: a real store in a temporary folder that is also the
// current folder and the program folder, recorded message boxes, and an
// in-memory clipboard.
#include "platform/FileSystem.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace qm {
class MemoryClipboard;
}

namespace qmtest {

// Every message the program showed since the last clear.
QStringList& messages();
// Passes when exactly one message was shown since the last clear and it
// contains `part`; clears the messages either way.
::testing::AssertionResult toldOnce(const QString& part);
// The answer the next yes/no questions get.
void answerQuestions(bool yes);

qm::MemoryClipboard& testClipboard();

// Windows closed by close() are deleted by the event loop.
void flushDeletes();

// What a command printed, and its exit status (-1: it did not end normally).
struct Outcome {
    int status = -1;
    QString out, err;
};
// A command of the program run in this process, its output captured.
Outcome captured(const std::function<int()>& command);
// A program run to its end (two minutes at most) in `folder`; `inChild`
// runs in the child before the program starts.
Outcome runProgram(const QString& program, const QStringList& args, const QString& folder = {},
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    const std::function<void()>& inChild = {});

// The disk as it is, except that when a run next opens its start folder,
// `write` runs first: another program writing to the store after a scan or
// an update began.
struct WritingFileSystem : qm::FileSystem {
    using qm::FileSystem::open;
    std::function<void()> write;
    std::unique_ptr<qm::Folder> open(const std::string& path, int& error) override
    {
        if (write)
            std::exchange(write, nullptr)();
        return qm::FileSystem::open(path, error);
    }
};

// A fresh folder with an empty database.mdb in it; the current folder and the
// program folder point at it while the fixture lives, and the user's
// configuration and data folders are its config/ and data/.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString folder() const { return dir_->path(); }
    QString storePath() const { return pathOf(QStringLiteral("database.mdb")); }
    // A connection of the test's own for setting up and checking rows.
    SQLite::Database& db();
    // Closes it (before the file is replaced or written behind SQLite's back).
    void resetConnection() { db_.reset(); }

    // Writes one record of main and returns its SrNO.
    long long addRecord(const QString& id, const QString& parent, const QString& dbaseName,
        const QString& fileName, const QString& path, const QString& size = {}, const QString& date = {},
        const QString& delKey = {});
    long long count(const QString& sqlCondition = {}, const QString& table = QStringLiteral("main"));
    // The first column of every row a query gives; NULL reads as "<null>".
    QStringList texts(const QString& sql);
    // A file's bytes, or "<missing>".
    static QByteArray readFile(const QString& path);
    // Makes a file of `bytes` bytes, or of the given content, (and its
    // folders) below the test folder and returns its full path.
    QString makeFile(const QString& relativePath, qint64 bytes = 0);
    QString makeFile(const QString& relativePath, const QByteArray& content);
    QString makeDir(const QString& relativePath);
    QString pathOf(const QString& relativePath) const { return QDir(folder()).filePath(relativePath); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SQLite::Database> db_;
    QString previousCurrent_;
    QByteArray previousConfig_;
    QByteArray previousData_;
    QByteArray previousCache_;
};

} // namespace qmtest
