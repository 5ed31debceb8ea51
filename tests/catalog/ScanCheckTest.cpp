// SPDX-License-Identifier: GPL-3.0-or-later
// Two scans compared from the catalogue, and a disk verified against its
// scan: known contents in real trees, every kind of difference, and the
// store untouched by either.
#include "../main_window/ScanSupport.h"
#include "catalog/FolderScan.h"
#include "catalog/ScanDiff.h"
#include "catalog/ScanVerify.h"
#include "catalog/store/ReadOnlyStore.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace qm;

namespace {

class ScanCheckTest : public qmtest::StoreTest {
protected:
    const QByteArray big = [] {
        QByteArray bytes(256 * 1024, Qt::Uninitialized);
        QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        return bytes;
    }();

    // Scans `folder` into `catalogue`, reading contents; its top-level folder.
    TopFolder scan(const QString& folder, const QString& catalogue)
    {
        FolderScan run(db(), catalogue, 1);
        run.setFingerprints(true);
        const QString key = run.run(startFolderOf(folder));
        EXPECT_TRUE(run.failure().isEmpty()) << run.failure().toStdString();
        const auto top = findTopFolder(db(), catalogue, key);
        EXPECT_TRUE(top.has_value());
        return top.value_or(TopFolder {});
    }
    QByteArray storeDigest()
    {
        return QCryptographicHash::hash(readFile(storePath()), QCryptographicHash::Sha256);
    }
    // "kind path [-> path] [by]" of every row.
    static QStringList shown(const ScanDiffResult& diff)
    {
        QStringList out;
        for (const DiffRow& r : diff.rows) {
            QString line = diffKindText(r.kind) + u' ' + (r.a.present() ? r.a.path : r.b.path);
            if (r.kind == DiffKind::Moved)
                line += QStringLiteral(" -> ") + r.b.path;
            if (r.kind == DiffKind::Differs || r.kind == DiffKind::Moved)
                line += r.byContent ? QStringLiteral(" by fingerprint") : QStringLiteral(" by size");
            out << line;
        }
        return out;
    }
    static QStringList shown(const ScanVerify& check)
    {
        QStringList out;
        for (const VerifyFinding& f : check.findings())
            out << verifyKindText(f.kind) + u' ' + f.path;
        return out;
    }
};

TEST_F(ScanCheckTest, DiffTellsEveryKindOfDifferenceOnceAndLeavesTheStoreAsItWas)
{
    makeFile(QStringLiteral("A/same.txt"), QByteArrayLiteral("same"));
    makeFile(QStringLiteral("A/docs/changed.txt"), QByteArrayLiteral("aaaa"));
    makeFile(QStringLiteral("A/docs/grown.txt"), QByteArrayLiteral("12345"));
    makeFile(QStringLiteral("A/only A.txt"), QByteArrayLiteral("gone"));
    makeFile(QStringLiteral("A/old/moved.bin"), big);
    makeDir(QStringLiteral("A/empty"));
    makeFile(QStringLiteral("B/same.txt"), QByteArrayLiteral("same"));
    makeFile(QStringLiteral("B/docs/changed.txt"), QByteArrayLiteral("bbbb"));
    makeFile(QStringLiteral("B/docs/grown.txt"), QByteArrayLiteral("1234567"));
    makeFile(QStringLiteral("B/only B.txt"), QByteArrayLiteral("new!"));
    makeFile(QStringLiteral("B/new/moved.bin"), big);
    const ScanRef a {QStringLiteral("Disk A"), scan(pathOf(QStringLiteral("A")), QStringLiteral("Disk A"))};
    const ScanRef b {QStringLiteral("Disk B"), scan(pathOf(QStringLiteral("B")), QStringLiteral("Disk B"))};
    // The grown file in B was not read: compared by size alone.
    db().exec("DELETE FROM fingerprints WHERE SrNO = (SELECT SrNO FROM main WHERE dbaseName = 'Disk B' AND "
              "file_name = 'grown.txt')");
    resetConnection();
    const QByteArray before = storeDigest();

    QString problem;
    const auto reader = Store::openReadOnly(storePath(), problem);
    ASSERT_TRUE(reader) << problem.toStdString();
    const ScanDiffResult diff = diffScans(*reader, a, b);
    EXPECT_EQ(shown(diff),
        QStringList({QStringLiteral("content differs docs/changed.txt by fingerprint"),
            QStringLiteral("content differs docs/grown.txt by size"), QStringLiteral("only in A empty/"),
            QStringLiteral("only in B new/"), QStringLiteral("only in A old/"),
            QStringLiteral("moved old/moved.bin -> new/moved.bin by fingerprint"), QStringLiteral("only in A only A.txt"),
            QStringLiteral("only in B only B.txt")}));
    EXPECT_EQ(diff.counts.onlyInA, 3);
    EXPECT_EQ(diff.counts.onlyInB, 2);
    EXPECT_EQ(diff.counts.differs, 2);
    EXPECT_EQ(diff.counts.moved, 1);
    EXPECT_EQ(diff.counts.same, 1);
    EXPECT_EQ(diff.counts.sameByContent, 1);
    EXPECT_FALSE(diff.same());
    // Rows carry what opens their nodes.
    const DiffRow& moved = diff.rows[5];
    EXPECT_EQ(moved.a.key, texts(QStringLiteral("SELECT ID FROM main WHERE dbaseName = 'Disk A' AND file_name = "
                                                "'moved.bin'"))
                               .value(0));

    // A scan against itself is the same, every file by its content.
    const ScanDiffResult self = diffScans(*reader, a, a);
    EXPECT_TRUE(self.same());
    EXPECT_EQ(self.counts.same, 5);
    EXPECT_EQ(self.counts.sameByContent, 5);
    EXPECT_EQ(storeDigest(), before);
}

TEST_F(ScanCheckTest, VerifyFindsSilentCorruptionMissingNewAndChangedFilesWithoutWriting)
{
    makeFile(QStringLiteral("disk/photo.jpg"), big);
    makeFile(QStringLiteral("disk/keep/notes.txt"), QByteArrayLiteral("notes"));
    makeFile(QStringLiteral("disk/keep/plain.txt"), QByteArrayLiteral("plain"));
    makeFile(QStringLiteral("disk/gone.txt"), QByteArrayLiteral("gone"));
    const QString edited = makeFile(QStringLiteral("disk/edited.txt"), QByteArrayLiteral("first"));
    const TopFolder top = scan(pathOf(QStringLiteral("disk")), QStringLiteral("Disk"));
    // A file whose contents were never read is checked by size and time.
    db().exec("DELETE FROM fingerprints WHERE SrNO = (SELECT SrNO FROM main WHERE file_name = 'plain.txt')");
    resetConnection();
    const QByteArray before = storeDigest();

    QString problem;
    const auto reader = Store::openReadOnly(storePath(), problem);
    ASSERT_TRUE(reader) << problem.toStdString();
    {
        ScanVerify untouched(*reader, QStringLiteral("Disk"), top);
        ASSERT_TRUE(untouched.run()) << untouched.failure().toStdString();
        EXPECT_TRUE(untouched.same()) << shown(untouched).join(u'\n').toStdString();
        EXPECT_EQ(untouched.counts().same, 5);
        EXPECT_EQ(untouched.counts().sameByContent, 4);
        EXPECT_EQ(untouched.counts().bytesRead, big.size() + 5 + 5 + 4 + 5);
    }

    // One byte flipped in place, its modification time put back as it was.
    const QString photo = pathOf(QStringLiteral("disk/photo.jpg"));
    struct stat st { };
    ASSERT_EQ(::stat(QFile::encodeName(photo).constData(), &st), 0);
    {
        QFile f(photo);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(1000);
        const char flipped = static_cast<char>(big[1000] ^ 0x10);
        f.write(&flipped, 1);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(photo).constData(), times, 0), 0);
    QFile::remove(pathOf(QStringLiteral("disk/gone.txt")));
    makeFile(QStringLiteral("disk/keep/added.txt"), QByteArrayLiteral("added"));
    {
        QFile f(edited);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("second version");
    }

    ScanVerify check(*reader, QStringLiteral("Disk"), top);
    ASSERT_TRUE(check.run()) << check.failure().toStdString();
    EXPECT_EQ(shown(check),
        QStringList({QStringLiteral("changed edited.txt"), QStringLiteral("missing gone.txt"),
            QStringLiteral("new keep/added.txt"), QStringLiteral("corrupt photo.jpg")}));
    EXPECT_EQ(check.counts().same, 2);
    EXPECT_EQ(check.counts().sameByContent, 1);
    EXPECT_TRUE(check.findings()[0].detail.startsWith(QStringLiteral("size 14 bytes, was 5 bytes")))
        << check.findings()[0].detail.toStdString();
    EXPECT_NE(check.findings()[3].srNo, 0);
    EXPECT_FALSE(check.same());
    EXPECT_EQ(storeDigest(), before) << "verify wrote to the store";
    EXPECT_FALSE(QFile::exists(storePath() + QStringLiteral("-journal")));
}

TEST_F(ScanCheckTest, VerifyOfAFolderThatIsNotThereFailsWithoutFindings)
{
    makeFile(QStringLiteral("disk/a.txt"), QByteArrayLiteral("a"));
    const TopFolder top = scan(pathOf(QStringLiteral("disk")), QStringLiteral("Disk"));
    QDir(pathOf(QStringLiteral("disk"))).removeRecursively();
    ScanVerify check(db(), QStringLiteral("Disk"), top);
    EXPECT_FALSE(check.run());
    EXPECT_TRUE(check.failure().contains(pathOf(QStringLiteral("disk")))) << check.failure().toStdString();
    EXPECT_TRUE(check.findings().empty());
}

TEST_F(ScanCheckTest, WhatCannotBeListedIsToldAsUnreadNeverAsMissingAndACancelTellsNothing)
{
    makeFile(QStringLiteral("disk/a.txt"), QByteArrayLiteral("a"));
    makeFile(QStringLiteral("disk/locked/b.txt"), QByteArrayLiteral("b"));
    makeFile(QStringLiteral("disk/locked/in/c.txt"), QByteArrayLiteral("c"));
    makeFile(QStringLiteral("disk/gone.txt"), QByteArrayLiteral("gone"));
    const TopFolder top = scan(pathOf(QStringLiteral("disk")), QStringLiteral("Disk"));
    makeDir(QStringLiteral("disk/also locked"));
    {
        scantest::FaultyFileSystem faulty;
        faulty.unreadableFolders = {"locked", "also locked"};
        faulty.vanished = {"gone.txt"}; // listed, but it cannot be looked at
        ScanVerify check(db(), QStringLiteral("Disk"), top);
        ASSERT_TRUE(check.run()) << check.failure().toStdString();
        EXPECT_EQ(shown(check),
            QStringList({QStringLiteral("could not be read also locked"), QStringLiteral("could not be read gone.txt"),
                QStringLiteral("could not be read locked/"), QStringLiteral("could not be read locked/b.txt"),
                QStringLiteral("could not be read locked/in/"), QStringLiteral("could not be read locked/in/c.txt")}));
        EXPECT_EQ(check.counts().missing, 0);
        EXPECT_EQ(check.counts().same, 1);
        EXPECT_FALSE(check.same());
    }

    // Stopped at its first progress report: no verdict, no findings.
    struct StopAtOnce : ScanListener {
        void entryStored(const ScannedEntry&) override { }
        bool progress(std::int64_t, const QString&) override { return false; }
    } stop;
    for (int i = 0; i < 40; ++i)
        makeFile(QStringLiteral("disk/more/") + QString::number(i), QByteArrayLiteral("x"));
    ScanVerify stopped(db(), QStringLiteral("Disk"), top, &stop);
    stopped.setProgressInterval(std::chrono::milliseconds(0));
    EXPECT_FALSE(stopped.run());
    EXPECT_TRUE(stopped.cancelled());
    EXPECT_TRUE(stopped.failure().isEmpty()) << stopped.failure().toStdString();
}

} // namespace
