// SPDX-License-Identifier: GPL-3.0-or-later
// An update that reads contents: fingerprints kept for unchanged files and
// read for the rest, files that moved keeping their records and notes, and
// archives listed again only when they changed.
#include "catalog/update/ScanUpdate.h"
#include "catalog/FolderScan.h"
#include "catalog/tree/TreeCheck.h"
#include "platform/FileFingerprint.h"
#include "support/ArchiveFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>

#include <sys/stat.h>
#include <utime.h>

#include <xxhash.h>

using namespace qm;
using qmtest::writeArchive;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QString wholeHash(const QByteArray& bytes)
{
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, XXH3_128bits(bytes.constData(), static_cast<size_t>(bytes.size())));
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(c.digest), 16).toHex());
}

// Cancels at the first report that tells of a read.
struct CancelWhenReading : ScanListener {
    void entryStored(const ScannedEntry&) override { }
    bool progress(std::int64_t, const QString&) override { return true; }
    bool contentProgress(std::int64_t, const QString&, const ContentProgress& read) override
    {
        return read.read == 0;
    }
};

// Says the entry `name` is a regular file: a FIFO that took a file's place.
struct FileLookingFileSystem : FileSystem {
    using FileSystem::stat;
    std::string name;
    int stat(Folder& folder, const char* entry, EntryInfo& info) override
    {
        const int error = FileSystem::stat(folder, entry, info);
        if (error == 0 && name == entry)
            info.kind = EntryKind::File;
        return error;
    }
};

class UpdateContentsTest : public qmtest::StoreTest {
protected:
    TopFolder scan(const QString& relative, bool fingerprints, bool archives = false, ScanListener* listener = nullptr)
    {
        FolderScan run(db(), QStringLiteral("Disks"), 1, listener);
        run.setFingerprints(fingerprints);
        run.setArchives(archives);
        run.setProgressInterval(std::chrono::milliseconds(0));
        const QString key = run.run(startFolderOf(pathOf(relative)));
        EXPECT_FALSE(key.isEmpty()) << run.failure().toStdString();
        return *findTopFolder(db(), QStringLiteral("Disks"), key);
    }
    std::unique_ptr<ScanUpdate> update(const TopFolder& top, bool fingerprints, bool archives = false,
        FileSystem& fs = fileSystem())
    {
        auto run = std::make_unique<ScanUpdate>(db(), QStringLiteral("Disks"), top, nullptr, fs);
        run->setFingerprints(fingerprints);
        run->setArchives(archives);
        run->setConfirm([](const UpdateRisk&) { return true; });
        EXPECT_TRUE(run->run()) << run->failure().toStdString();
        return run;
    }
    // path (below the test's folder) -> hex of its stored fingerprint, of every file of the store.
    QHash<QString, QString> prints()
    {
        QHash<QString, QString> out;
        for (const QString& row : texts(QStringLiteral("SELECT m.path || '|' || hex(f.Hash) FROM main m "
                                                       "JOIN fingerprints f ON f.SrNO = m.SrNO")))
            out.insert(row.section(u'|', 0, 0).mid(folder().size() + 1), row.section(u'|', 1).toLower());
        return out;
    }
    // "SrNO ID" of a path's record.
    QString identity(const QString& relative)
    {
        const QStringList found
            = texts(QStringLiteral("SELECT SrNO || ' ' || ID FROM main WHERE path = '%1'").arg(pathOf(relative)));
        return found.size() == 1 ? found.front() : QStringLiteral("<%1 records>").arg(found.size());
    }
};

} // namespace

TEST_F(UpdateContentsTest, UnchangedFilesKeepTheirFingerprintsUnreadChangedAndNewOnesAreRead)
{
    QHash<QString, QByteArray> files {{QStringLiteral("disk/a.bin"), randomBytes(300000, 1)},
        {QStringLiteral("disk/b.bin"), randomBytes(200000, 2)},
        {QStringLiteral("disk/sub/c.bin"), randomBytes(100000, 3)}};
    for (auto f = files.cbegin(); f != files.cend(); ++f)
        makeFile(f.key(), f.value());
    const TopFolder top = scan(QStringLiteral("disk"), true);
    ASSERT_EQ(prints().size(), 3);

    // Nothing changed: nothing is read.
    auto quiet = update(top, true);
    EXPECT_EQ(quiet->bytesRead(), 0u);
    EXPECT_EQ(quiet->fingerprintsKept(), 3);
    EXPECT_EQ(quiet->filesFingerprinted(), 0);

    // b.bin rewritten at another size, d.bin new: only they are read.
    files[QStringLiteral("disk/b.bin")] = randomBytes(250000, 4);
    files[QStringLiteral("disk/d.bin")] = randomBytes(7000, 5);
    makeFile(QStringLiteral("disk/b.bin"), files[QStringLiteral("disk/b.bin")]);
    makeFile(QStringLiteral("disk/d.bin"), files[QStringLiteral("disk/d.bin")]);
    auto changed = update(top, true);
    EXPECT_EQ(changed->bytesRead(), 257000u);
    EXPECT_EQ(changed->filesFingerprinted(), 2);
    EXPECT_EQ(changed->fingerprintsKept(), 2);
    EXPECT_EQ(changed->counts().added, 1);
    // Same content, same size, but written again: the time alone makes it read.
    const QString c = pathOf(QStringLiteral("disk/sub/c.bin"));
    struct utimbuf later {2000000000, 2000000000};
    ASSERT_EQ(::utime(c.toUtf8().constData(), &later), 0);
    auto touched = update(top, true);
    EXPECT_EQ(touched->bytesRead(), 100000u);
    EXPECT_EQ(fingerprintSummary(*touched),
        QStringLiteral("Fingerprinted the contents of 1 file(s) (97.7 KB read); 3 unchanged file(s) kept their "
                       "fingerprints."));

    // Every file's stored fingerprint is that of its bytes now.
    const QHash<QString, QString> stored = prints();
    EXPECT_EQ(stored.size(), files.size());
    for (auto f = files.cbegin(); f != files.cend(); ++f)
        EXPECT_EQ(stored.value(f.key()), wholeHash(f.value())) << f.key().toStdString();

    // Without the option nothing is read and nothing stored changes.
    auto plain = update(top, false);
    EXPECT_EQ(plain->bytesRead(), 0u);
    EXPECT_EQ(prints(), stored);
}

TEST_F(UpdateContentsTest, AnUpdateFillsInWhatACancelledScanDidNotReadAndTellsOfUnreadableFiles)
{
    QHash<QString, QByteArray> files;
    // Large enough that the readers cannot finish before the first report
    // on a busy machine: the cancel comes from that report.
    for (int i = 0; i < 24; ++i) {
        const QString name = QStringLiteral("disk/d%1/f%2.bin").arg(i % 3).arg(i);
        files.insert(name, randomBytes(6 * 1024 * 1024 + i, static_cast<quint32>(i)));
        makeFile(name, files.value(name));
    }
    CancelWhenReading cancel;
    const TopFolder top = scan(QStringLiteral("disk"), true, false, &cancel);
    const QHash<QString, QString> before = prints();
    ASSERT_LT(before.size(), 24) << "the scan was to stop halfway";
    std::uint64_t unread = 0;
    for (auto f = files.cbegin(); f != files.cend(); ++f)
        if (!before.contains(f.key()))
            unread += static_cast<std::uint64_t>(f.value().size());

    // A FIFO where a file was walked cannot be read: skipped, the rest stored.
    ASSERT_EQ(::mkfifo(pathOf(QStringLiteral("disk/pipe")).toUtf8().constData(), 0600), 0);
    FileLookingFileSystem fs;
    fs.name = "pipe";
    auto filled = update(top, true, false, fs);
    EXPECT_EQ(filled->bytesRead(), unread);
    EXPECT_EQ(filled->fingerprintsKept(), before.size());
    EXPECT_EQ(filled->skippedCount(), 1);
    ASSERT_EQ(filled->firstSkipped().size(), 1u);
    EXPECT_EQ(filled->firstSkipped().front().path, pathOf(QStringLiteral("disk/pipe")));
    const QHash<QString, QString> after = prints();
    EXPECT_EQ(after.size(), 24);
    for (auto f = files.cbegin(); f != files.cend(); ++f)
        EXPECT_EQ(after.value(f.key()), wholeHash(f.value())) << f.key().toStdString();
}

TEST_F(UpdateContentsTest, AFileMovedKeepsItsRecordAndNoteUnderItsNewPath)
{
    const QByteArray photo = randomBytes(50000, 11), other = randomBytes(50000, 12), kept = randomBytes(900, 13);
    makeFile(QStringLiteral("disk/old/photo.jpg"), photo);
    makeFile(QStringLiteral("disk/old/other.jpg"), other);
    makeFile(QStringLiteral("disk/kept.txt"), kept);
    const TopFolder top = scan(QStringLiteral("disk"), true);
    const QString key = identity(QStringLiteral("disk/old/photo.jpg")).section(u' ', 1);
    db().exec("INSERT INTO Projects (ID, FileName) SELECT ID, file_name FROM main WHERE file_name = 'photo.jpg'");

    // photo.jpg moved into a new folder and renamed; other.jpg deleted and a
    // file of another content put in its place's size; kept.txt copied.
    ASSERT_TRUE(QDir().mkpath(pathOf(QStringLiteral("disk/2019/june"))));
    ASSERT_TRUE(QFile::rename(pathOf(QStringLiteral("disk/old/photo.jpg")), pathOf(QStringLiteral("disk/2019/june/shot.jpg"))));
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/old/other.jpg"))));
    makeFile(QStringLiteral("disk/2019/new.jpg"), randomBytes(50000, 14));
    makeFile(QStringLiteral("disk/copy of kept.txt"), kept);

    auto run = update(top, true);
    const UpdateCounts& counts = run->counts();
    EXPECT_EQ(counts.moved, 1);
    EXPECT_EQ(counts.added, 4); // 2019/, 2019/june/, new.jpg, copy of kept.txt
    EXPECT_EQ(counts.removed, 1); // other.jpg
    EXPECT_TRUE(updateSummary(counts).startsWith(QStringLiteral("4 added, 1 removed, 1 moved, ")))
        << updateSummary(counts).toStdString();

    // The record kept its key, so the note is on the file where it is now,
    // below its new folder and stored after it; the tree places every record.
    EXPECT_EQ(identity(QStringLiteral("disk/2019/june/shot.jpg")).section(u' ', 1), key);
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name FROM Projects p JOIN main m ON m.ID = p.ID")),
        QStringList {QStringLiteral("shot.jpg")});
    EXPECT_EQ(texts(QStringLiteral("SELECT count(*) FROM main m JOIN main f ON f.ID = m.Parent AND f.SrNO < m.SrNO "
                                   "WHERE m.ID = '%1' AND f.path = '%2'")
                        .arg(key, pathOf(QStringLiteral("disk/2019/june/")))),
        QStringList {QStringLiteral("1")});
    EXPECT_EQ(checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced, 0);
    EXPECT_EQ(prints().value(QStringLiteral("disk/2019/june/shot.jpg")), wholeHash(photo));
    EXPECT_EQ(count(QStringLiteral("path LIKE '%/photo.jpg'")), 0);
}

TEST_F(UpdateContentsTest, AChangedArchiveIsListedAgainAnUnchangedOneKeepsItsMembers)
{
    const QString disk = pathOf(QStringLiteral("disk"));
    qmtest::writeFile(disk + QStringLiteral("/same.zip"), writeArchive("zip", "", {{"a.txt", "a"}, {"sub/b.txt", "b"}}));
    qmtest::writeFile(disk + QStringLiteral("/changing.zip"), writeArchive("zip", "", {{"old.txt", "old"}}));
    qmtest::writeFile(disk + QStringLiteral("/later.zip"), writeArchive("zip", "", {{"x.txt", "x"}}));
    const TopFolder top = scan(QStringLiteral("disk"), false, true);
    // later.zip as a scan without the option left it: no members yet.
    db().exec("DELETE FROM main WHERE in_archive > 0 AND path LIKE '%/later.zip/%'");
    auto members = [this](const QString& archive) {
        return texts(QStringLiteral("SELECT SrNO || ' ' || ID || ' ' || file_name FROM main WHERE in_archive > 0 "
                                    "AND path LIKE '%1/%' ORDER BY SrNO")
                         .arg(pathOf(QStringLiteral("disk/") + archive)));
    };
    const QStringList same = members(QStringLiteral("same.zip"));
    ASSERT_EQ(same.size(), 3); // a.txt, sub/, sub/b.txt
    const QString changingRecord = identity(QStringLiteral("disk/changing.zip"));

    qmtest::writeFile(disk + QStringLiteral("/changing.zip"),
        writeArchive("zip", "", {{"new1.txt", "one"}, {"new2.txt", "two, longer"}}));
    auto run = update(top, false, true);
    EXPECT_EQ(run->archiveStage().archivesKept(), 1);
    EXPECT_EQ(run->archiveStage().archivesListed(), 2);
    EXPECT_EQ(archiveSummary(*run),
        QStringLiteral("Listed 3 member(s) of 2 archive(s); 1 unchanged archive(s) kept their members."));
    EXPECT_EQ(members(QStringLiteral("same.zip")), same);
    // The archive's own record stays; its members are the new listing's.
    EXPECT_EQ(identity(QStringLiteral("disk/changing.zip")), changingRecord);
    QStringList names;
    for (const QString& m : members(QStringLiteral("changing.zip")))
        names << m.section(u' ', 2);
    EXPECT_EQ(names, (QStringList {QStringLiteral("new1.txt"), QStringLiteral("new2.txt")}));
    EXPECT_EQ(members(QStringLiteral("later.zip")).size(), 1);
    EXPECT_EQ(run->counts().removed, 1); // old.txt
    EXPECT_EQ(checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced, 0);

    // With nothing changed, nothing is listed and nothing rewritten.
    const QStringList all = texts(QStringLiteral("SELECT SrNO || ID || path FROM main ORDER BY SrNO"));
    auto again = update(top, false, true);
    EXPECT_EQ(again->archiveStage().archivesListed(), 0);
    EXPECT_EQ(again->archiveStage().archivesKept(), 3);
    EXPECT_EQ(texts(QStringLiteral("SELECT SrNO || ID || path FROM main ORDER BY SrNO")), all);
}

TEST_F(UpdateContentsTest, ArchivesAndFingerprintsTogetherKeepEachFileItsOwn)
{
    // The archive stage adds members after the fingerprints are read: each
    // fingerprint stays with its own file, whatever the listing order put
    // after an archive, and members get none.
    const QString disk = pathOf(QStringLiteral("disk"));
    QHash<QString, QString> truth;
    for (int i = 0; i < 4; ++i) {
        const std::string zip = writeArchive("zip", "", {{"m1.txt", std::to_string(i)}, {"m2.txt", "2"}, {"m3.txt", "3"}});
        qmtest::writeFile(disk + QStringLiteral("/a%1.zip").arg(i), zip);
        truth.insert(QStringLiteral("disk/a%1.zip").arg(i), wholeHash(QByteArray(zip.data(), static_cast<qsizetype>(zip.size()))));
        const QByteArray bytes = randomBytes(4000 + i, static_cast<quint32>(30 + i));
        makeFile(QStringLiteral("disk/z%1.bin").arg(i), bytes);
        truth.insert(QStringLiteral("disk/z%1.bin").arg(i), wholeHash(bytes));
    }
    const TopFolder top = scan(QStringLiteral("disk"), true, true);
    EXPECT_EQ(prints(), truth);
    EXPECT_EQ(count(QStringLiteral("in_archive > 0")), 12);
    const QByteArray later = randomBytes(10, 22);
    makeFile(QStringLiteral("disk/y.bin"), later);
    truth.insert(QStringLiteral("disk/y.bin"), wholeHash(later));
    auto run = update(top, true, true);
    EXPECT_EQ(run->bytesRead(), 10u);
    EXPECT_EQ(prints(), truth);
    EXPECT_EQ(count(QStringLiteral("in_archive > 0")), 12);
}
