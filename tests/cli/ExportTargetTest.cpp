// SPDX-License-Identifier: GPL-3.0-or-later
// Where `quillmark export --output` writes, run through the real program:
// never over the store, its journal or a link to them, a folder or a device;
// into a pipe as a stream; over a plain file only when the export is whole.
#include "ProgramTest.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using qmtest::Outcome;

class ExportTarget : public qmtest::ProgramTest {
protected:
    void SetUp() override
    {
        qmtest::StoreTest::SetUp();
        addRecord("1>", "0>", "Disks", "/disk", "/disk/");
        addRecord("2>", "1>", "Disks", "a.txt", "/disk/a.txt");
    }

    Outcome exportTo(const QString& output)
    {
        return quillmark({QStringLiteral("export"), QStringLiteral("Disks"), QStringLiteral("--output"), output});
    }

    // The test folder's names, to see that a refusal left no file behind.
    QStringList names() const { return QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System); }

    // Refused with exit 1 and a message naming `output` as given; the store,
    // `output` and the folder are as they were.
    void expectRefused(const QString& output, const QString& why)
    {
        const QByteArray store = readFile(storePath());
        struct stat before {};
        const bool existed = ::lstat(QFile::encodeName(pathOf(output)).constData(), &before) == 0;
        const QStringList namesBefore = names();
        const Outcome o = exportTo(output);
        EXPECT_EQ(o.status, 1) << output.toStdString();
        EXPECT_TRUE(o.err.contains(output + why) && o.err.contains(QStringLiteral("Nothing was written.")))
            << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty()) << o.out.toStdString();
        EXPECT_EQ(readFile(storePath()), store) << output.toStdString();
        EXPECT_EQ(names(), namesBefore) << output.toStdString();
        struct stat after {};
        const bool exists = ::lstat(QFile::encodeName(pathOf(output)).constData(), &after) == 0;
        EXPECT_EQ(exists, existed) << output.toStdString();
        if (exists && existed) {
            EXPECT_TRUE(after.st_ino == before.st_ino && after.st_mode == before.st_mode
                && after.st_rdev == before.st_rdev && after.st_size == before.st_size)
                << output.toStdString();
        }
    }
};

QByteArray expectedCsv()
{
    return "ID,Parent,dbaseName,file_name,path,size,date,SrNO,delKey,bytes,created,modified,raw_path,in_archive,fingerprint,"
           "media_taken,media_make,media_model,media_lens,media_width,media_height,media_latitude,media_longitude,media_artist,media_album,media_title,media_track,media_year,media_duration_ms,media_codec,location\r\n"
           "1>,0>,Disks,/disk,/disk/,,,1,,,,,,,,,,,,,,,,,,,,,,,\r\n"
           "2>,1>,Disks,a.txt,/disk/a.txt,,,2,,,,,,,,,,,,,,,,,,,,,,,\r\n";
}

} // namespace

TEST_F(ExportTarget, NeverWritesOverTheStoreItsJournalOrAFolder)
{
    const QByteArray store = QFile::encodeName(storePath());
    ASSERT_EQ(::symlink("database.mdb", "latest%1.csv"), 0);
    ASSERT_EQ(::link(store.constData(), "hard.csv"), 0);
    ASSERT_EQ(::symlink("hard.csv", "chain.csv"), 0); // followed to the end
    ASSERT_EQ(::symlink("database.mdb-journal", "journal.csv"), 0);
    const std::pair<QString, const char*> refusals[] = {{QStringLiteral("database.mdb"), " is the store "},
        {storePath(), " is the store "}, {QStringLiteral("./database.mdb"), " is the store "},
        {QStringLiteral("latest%1.csv"), " is a link to the store "}, {QStringLiteral("hard.csv"), " is a link to the store "},
        {QStringLiteral("chain.csv"), " is a link to the store "},
        {QStringLiteral("database.mdb-journal"), " would be the journal of the store "},
        {QStringLiteral("database.mdb-wal"), " would be the write-ahead log of the store "},
        {QStringLiteral("journal.csv"), " is a link to a file that does not exist"}};
    for (const auto& [output, why] : refusals)
        expectRefused(output, QString::fromLatin1(why));

    // The journal while a write is open.
    {
        SQLite::Transaction writing(db());
        db().exec("INSERT INTO main (ID, Parent, dbaseName) VALUES ('3>', '1>', 'Disks')");
        ASSERT_TRUE(QFile::exists(storePath() + QStringLiteral("-journal")));
        const QByteArray journal = readFile(storePath() + QStringLiteral("-journal"));
        expectRefused(QStringLiteral("database.mdb-journal"), QStringLiteral(" is the journal of the store "));
        expectRefused(QStringLiteral("journal.csv"), QStringLiteral(" is a link to the journal of the store "));
        ASSERT_EQ(::link((store + "-journal").constData(), "journal-hard.csv"), 0);
        expectRefused(QStringLiteral("journal-hard.csv"), QStringLiteral(" is a link to the journal of the store "));
        EXPECT_EQ(readFile(storePath() + QStringLiteral("-journal")), journal);
    }
    EXPECT_EQ(count(QStringLiteral("ID = '3>'")), 0);

    makeDir(QStringLiteral("dir%1x"));
    expectRefused(QStringLiteral("dir%1x"), QStringLiteral(" is a folder"));
    expectRefused(QStringLiteral("dir%1x/"), QStringLiteral(" is a folder"));
    // Another catalogue's store is no export's place either.
    ASSERT_TRUE(QFile::copy(storePath(), pathOf(QStringLiteral("other.mdb"))));
    expectRefused(QStringLiteral("other.mdb"), QStringLiteral(" is an SQLite database"));

    // Standard output appended to the store (`>> database.mdb`).
    const QByteArray before = readFile(storePath());
    const Outcome appended = quillmark({QStringLiteral("export"), QStringLiteral("Disks")}, [store] {
        const int fd = ::open(store.constData(), O_WRONLY | O_APPEND);
        ::dup2(fd, STDOUT_FILENO);
    });
    EXPECT_EQ(appended.status, 1);
    EXPECT_TRUE(appended.err.contains(QStringLiteral("standard output is the store "))) << appended.err.toStdString();
    EXPECT_EQ(readFile(storePath()), before);
}

TEST_F(ExportTarget, NeverReplacesADeviceNode)
{
    if (::mknod("null-copy", S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod is not allowed here (" << std::strerror(errno) << "); run as root to test devices";
    ASSERT_EQ(::mknod("full-copy", S_IFCHR | 0666, makedev(1, 7)), 0);
    ASSERT_EQ(::mknod("loop-copy", S_IFBLK | 0600, makedev(7, 0)), 0);
    ASSERT_EQ(::symlink("full-copy", "full-link"), 0);
    for (const char* node : {"null-copy", "full-copy", "loop-copy", "full-link"})
        expectRefused(QString::fromLatin1(node), QStringLiteral(" is a device"));
    struct stat st {};
    ASSERT_EQ(::stat("full-copy", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 7));
}

TEST_F(ExportTarget, WritesAPipeAsAStreamAndAPlainFileOnlyWhenWhole)
{
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    ASSERT_EQ(::symlink("pipe", "pipe-link"), 0);
    for (const char* name : {"pipe", "pipe-link"}) {
        QByteArray read;
        std::thread reader([&] {
            const int fd = ::open("pipe", O_RDONLY);
            char buffer[4096];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                read.append(buffer, n);
            ::close(fd);
        });
        const Outcome o = exportTo(QString::fromLatin1(name));
        reader.join();
        EXPECT_EQ(o.status, 0) << o.err.toStdString();
        EXPECT_EQ(read, expectedCsv());
        struct stat st {};
        ASSERT_EQ(::lstat("pipe", &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }

    // Standard output named through the system's links, here a pipe.
    const Outcome devStdout = exportTo(QStringLiteral("/dev/stdout"));
    EXPECT_EQ(devStdout.status, 0) << devStdout.err.toStdString();
    EXPECT_EQ(devStdout.out,
        QString::fromUtf8(expectedCsv()) + QStringLiteral("Exported 2 record(s) of \"Disks\" to /dev/stdout.\n"));

    // A plain file, directly and through a link: replaced, keeping its mode
    // and the link.
    makeFile(QStringLiteral("out.csv"), QByteArray("yesterday's export\n"));
    ASSERT_EQ(::chmod("out.csv", 0640), 0);
    ASSERT_EQ(::symlink("out.csv", "latest.csv"), 0);
    const Outcome viaLink = exportTo(QStringLiteral("latest.csv"));
    EXPECT_EQ(viaLink.status, 0) << viaLink.err.toStdString();
    EXPECT_EQ(viaLink.out, QStringLiteral("Exported 2 record(s) of \"Disks\" to latest.csv.\n"));
    EXPECT_EQ(readFile(pathOf(QStringLiteral("out.csv"))), expectedCsv());
    EXPECT_TRUE(QFileInfo(pathOf(QStringLiteral("latest.csv"))).isSymLink());
    struct stat st {};
    ASSERT_EQ(::stat("out.csv", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // An export that fails leaves the file and nothing beside it.
    makeFile(QStringLiteral("out.csv"), QByteArray("kept\n"));
    const QStringList before = names();
    const Outcome failed = quillmark(
        {QStringLiteral("export"), QStringLiteral("Nothing"), QStringLiteral("--output"), QStringLiteral("out.csv")});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(readFile(pathOf(QStringLiteral("out.csv"))), QByteArray("kept\n"));
    EXPECT_EQ(names(), before);
    const Outcome fresh = exportTo(QStringLiteral("new.csv"));
    EXPECT_EQ(fresh.status, 0) << fresh.err.toStdString();
    EXPECT_EQ(readFile(pathOf(QStringLiteral("new.csv"))), expectedCsv());
    EXPECT_EQ(names().size(), before.size() + 1);
    EXPECT_TRUE(names().contains(QStringLiteral("new.csv")));
}

// A folder renamed by another program while the export's reader is slow:
// every row of the export is of one state of the catalogue, and the rename
// does not wait for the reader.
TEST_F(ExportTarget, AnExportToASlowPipeReadsOneStateWhileAnotherProgramCommits)
{
    constexpr int kFiles = 30000; // several of the export's slices
    {
        SQLite::Transaction t(db());
        addRecord("3>", "1>", "Disks", "old", "/disk/old/");
        SQLite::Statement insert(db(), "INSERT INTO main (ID, Parent, dbaseName, file_name, path) "
                                       "VALUES (?, '3>', 'Disks', ?, ?)");
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "f" + std::to_string(i);
            insert.reset();
            insert.bind(1, std::to_string(i + 4) + ">");
            insert.bind(2, name);
            insert.bind(3, "/disk/old/" + name);
            insert.exec();
        }
        t.commit();
    }
    resetConnection();
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    QByteArray read;
    QString renameProblem = QStringLiteral("not run");
    std::thread reader([&] {
        const int fd = ::open("pipe", O_RDONLY);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            read.append(buffer, n);
            if (renameProblem == QStringLiteral("not run")) {
                // The reader has the first rows; the folder is renamed now.
                try {
                    SQLite::Database writer(QFile::encodeName(storePath()).toStdString(), SQLite::OPEN_READWRITE);
                    writer.setBusyTimeout(20000);
                    SQLite::Transaction t(writer);
                    writer.exec("UPDATE main SET path = replace(path, '/disk/old/', '/disk/new/'), "
                                "file_name = iif(ID = '3>', 'new', file_name) WHERE dbaseName = 'Disks'");
                    t.commit();
                    renameProblem.clear();
                } catch (const std::exception& e) {
                    renameProblem = QString::fromUtf8(e.what());
                }
            }
        }
        ::close(fd);
    });
    const Outcome o = exportTo(QStringLiteral("pipe"));
    reader.join();
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_EQ(renameProblem, QString());
    EXPECT_EQ(read.count("\r\n"), kFiles + 4);
    EXPECT_EQ(read.count("/disk/old/"), kFiles + 1);
    EXPECT_EQ(read.count("/disk/new/"), 0);
    EXPECT_EQ(count(QStringLiteral("path LIKE '/disk/new/%'")), kFiles + 1);
}
