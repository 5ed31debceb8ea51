// SPDX-License-Identifier: GPL-3.0-or-later
// Content fingerprints: the reader, the scan that stores them beside the
// records, the duplicates found from them, and a store of the format before
// them brought up with every record.
#include "catalog/Duplicates.h"
#include "catalog/FolderScan.h"
#include "catalog/store/Store.h"
#include "catalog/UndoKeep.h"
#include "catalog/tree/TreeCheck.h"
#include "platform/FileFingerprint.h"
#include "platform/Recordset.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <tuple>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <xxhash.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// The hash of `bytes` taken in one piece, apart from the reader's blocks.
QString wholeHash(const QByteArray& bytes)
{
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, XXH3_128bits(bytes.constData(), static_cast<size_t>(bytes.size())));
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(c.digest), 16).toHex());
}

// Says every entry it is told of is a regular file: what a FIFO that took a
// file's place between the walk and the read looks like to the reads.
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

// Cancels at the first report that tells of a read.
struct CancelWhenReading : ScanListener {
    int reports = 0;
    void entryStored(const ScannedEntry&) override { }
    bool progress(std::int64_t, const QString&) override { return true; }
    bool contentProgress(std::int64_t, const QString&, const ContentProgress& read) override
    {
        ++reports;
        return read.read == 0;
    }
};

class FingerprintTest : public qmtest::StoreTest {
protected:
    const QByteArray hello = QByteArrayLiteral("hello, world\n");
    const QByteArray big = randomBytes(3 * 1024 * 1024 + 5, 7); // more than one read

    // Two disks with known contents: "hello" three times (twice on A), the
    // big file once on each, and files alike in size only.
    void makeDisks()
    {
        makeFile(QStringLiteral("A/a.txt"), hello);
        makeFile(QStringLiteral("A/sub/c.txt"), hello);
        makeFile(QStringLiteral("A/big.bin"), big);
        makeFile(QStringLiteral("A/same-size.txt"), QByteArrayLiteral("xxxxxxxxxxxxx"));
        makeFile(QStringLiteral("A/empty"), QByteArray());
        makeFile(QStringLiteral("B/e.txt"), hello);
        makeFile(QStringLiteral("B/copy of big.bin"), big);
        makeFile(QStringLiteral("B/d.txt"), QByteArrayLiteral("only here"));
        makeFile(QStringLiteral("B/empty"), QByteArray());
    }
    std::unique_ptr<FolderScan> scan(const QString& folder, const QString& catalogue, bool fingerprints = true,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem())
    {
        auto run = std::make_unique<FolderScan>(db(), catalogue, 1, listener, fs);
        run->setFingerprints(fingerprints);
        run->setProgressInterval(std::chrono::milliseconds(1));
        run->run(startFolderOf(folder));
        EXPECT_TRUE(run->failure().isEmpty()) << run->failure().toStdString();
        return run;
    }
    // "catalogue|path|hex" of every stored fingerprint, by path.
    QStringList stored()
    {
        return texts(QStringLiteral("SELECT m.dbaseName || '|' || m.path || '|' || lower(hex(f.Hash)) FROM "
                                    "fingerprints f JOIN main m ON m.SrNO = f.SrNO ORDER BY m.path"));
    }
    // A group as "likely|bytes: path, path".
    static QStringList shown(const std::vector<DuplicateGroup>& groups, const QString& root)
    {
        QStringList out;
        for (const DuplicateGroup& g : groups) {
            QStringList paths;
            for (const DuplicateCopy& c : g.copies)
                paths << c.catalogue + u':' + QString(c.path).remove(root);
            out << (g.likely ? QStringLiteral("likely ") : QString()) + QString::number(g.bytes) + QStringLiteral(": ")
                    + paths.join(QStringLiteral(", "));
        }
        return out;
    }
};

TEST_F(FingerprintTest, ReaderHashesWholeFilesAndRefusesWhatIsNoRegularFile)
{
    const QString file = makeFile(QStringLiteral("f/big.bin"), big);
    FingerprintReader reader;
    std::atomic<bool> stop {false};
    std::atomic<std::uint64_t> read {0};
    FileFingerprint f;
    ASSERT_EQ(reader.fingerprint(file.toStdString(), 0, stop, read, f), 0);
    EXPECT_EQ(hashHex(f.hash), wholeHash(big));
    EXPECT_EQ(f.bytes, static_cast<std::uint64_t>(big.size()));
    EXPECT_EQ(read.load(), static_cast<std::uint64_t>(big.size()));
    struct stat st { };
    ASSERT_EQ(::stat(file.toUtf8().constData(), &st), 0);
    EXPECT_EQ(f.modifiedNs, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);

    // A FIFO without a writer would block an open for reading: it is refused at once.
    const QString fifo = pathOf(QStringLiteral("f/fifo"));
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    EXPECT_EQ(reader.fingerprint(fifo.toStdString(), 0, stop, read, f), EINVAL);
    // A link is not followed, a folder is not read, another file system is refused.
    ASSERT_EQ(::symlink(file.toUtf8().constData(), pathOf(QStringLiteral("f/link")).toUtf8().constData()), 0);
    EXPECT_EQ(reader.fingerprint(pathOf(QStringLiteral("f/link")).toStdString(), 0, stop, read, f), EINVAL);
    EXPECT_EQ(reader.fingerprint(pathOf(QStringLiteral("f")).toStdString(), 0, stop, read, f), EINVAL);
    EXPECT_EQ(reader.fingerprint(file.toStdString(), st.st_dev + 1, stop, read, f), EXDEV);
    // A stop between two reads ends the read.
    stop = true;
    EXPECT_EQ(reader.fingerprint(file.toStdString(), 0, stop, read, f), ECANCELED);
}

TEST_F(FingerprintTest, DuplicateGroupsAcrossTwoDisksExactly)
{
    makeDisks();
    const auto a = scan(pathOf(QStringLiteral("A")), QStringLiteral("Disk A"));
    const auto b = scan(pathOf(QStringLiteral("B")), QStringLiteral("Disk B"));
    EXPECT_EQ(a->fingerprintsStored(), 5);
    EXPECT_EQ(b->fingerprintsStored(), 4);
    EXPECT_EQ(a->skippedCount() + b->skippedCount(), 0);
    // One row a file, none for a folder, each the hash of the file's bytes.
    const QString root = folder() + u'/';
    EXPECT_EQ(stored().size(), 9);
    EXPECT_TRUE(stored().contains(QStringLiteral("Disk B|") + root + QStringLiteral("B/copy of big.bin|") + wholeHash(big)));
    EXPECT_EQ(texts(QStringLiteral("SELECT Name FROM fingerprint_algorithm")), QStringList {QStringLiteral("XXH3-128")});

    // A third disk scanned without reading contents: alike by name and size only.
    makeFile(QStringLiteral("C/x/same-size.txt"), QByteArrayLiteral("yyyyyyyyyyyyy"));
    makeFile(QStringLiteral("C/y/same-size.txt"), QByteArrayLiteral("zzzzzzzzzzzzz"));
    scan(pathOf(QStringLiteral("C")), QStringLiteral("Disk C"), false);

    // Most wasted bytes first; empty files left out; A's same-size.txt has
    // a fingerprint, so it is no likely copy of C's.
    EXPECT_EQ(shown(findDuplicates(db()), root),
        (QStringList {QStringLiteral("3145733: Disk A:A/big.bin, Disk B:B/copy of big.bin"),
            QStringLiteral("13: Disk A:A/a.txt, Disk A:A/sub/c.txt, Disk B:B/e.txt"),
            QStringLiteral("likely 13: Disk C:C/x/same-size.txt, Disk C:C/y/same-size.txt")}));
    DuplicateQuery query;
    query.catalogues = {QStringLiteral("Disk B"), QStringLiteral("Disk C")};
    query.minSize = 0;
    EXPECT_EQ(shown(findDuplicates(db(), query), root),
        (QStringList {QStringLiteral("likely 13: Disk C:C/x/same-size.txt, Disk C:C/y/same-size.txt")}));
    query.catalogues.clear();
    query.minSize = 14;
    EXPECT_EQ(findDuplicates(db(), query).size(), 1u);

    // A record whose file changed since it was read (an update rewrote its
    // size and time) no longer counts by its old fingerprint.
    db().exec("UPDATE main SET modified = modified + 1 WHERE path LIKE '%/B/e.txt'");
    EXPECT_EQ(shown(findDuplicates(db()), root)[1], QStringLiteral("13: Disk A:A/a.txt, Disk A:A/sub/c.txt"));
    // A deleted record takes its fingerprint with it.
    db().exec("DELETE FROM main WHERE path LIKE '%/A/big.bin'");
    EXPECT_EQ(stored().size(), 8);
}

TEST_F(FingerprintTest, FileThatCannotBeReadKeepsItsRecordAndCountsAsSkipped)
{
    makeFile(QStringLiteral("D/ok.txt"), hello);
    ASSERT_EQ(::mkfifo(pathOf(QStringLiteral("D/pipe")).toUtf8().constData(), 0600), 0);
    FileLookingFileSystem fs;
    fs.name = "pipe";
    const auto run = scan(pathOf(QStringLiteral("D")), QStringLiteral("Disk D"), true, nullptr, fs);
    EXPECT_EQ(run->skippedCount(), 1);
    ASSERT_EQ(run->firstSkipped().size(), 1u);
    EXPECT_EQ(run->firstSkipped()[0].path, pathOf(QStringLiteral("D/pipe")));
    EXPECT_TRUE(run->firstSkipped()[0].reason.contains(QStringLiteral("regular file")));
    EXPECT_EQ(count(QStringLiteral("path LIKE '%/D/pipe'")), 1);
    EXPECT_EQ(stored().size(), 1);
    EXPECT_FALSE(skippedReport(*run).isEmpty());
}

TEST_F(FingerprintTest, CancelWhileReadingKeepsWhatIsStoredAndEveryFingerprintTrue)
{
    QHash<QString, QString> truth;
    for (int i = 0; i < 48; ++i) {
        const QByteArray bytes = randomBytes(2 * 1024 * 1024, static_cast<quint32>(i));
        truth.insert(makeFile(QStringLiteral("E/f%1.bin").arg(i), bytes), wholeHash(bytes));
    }
    CancelWhenReading cancel;
    const auto run = scan(pathOf(QStringLiteral("E")), QStringLiteral("Disk E"), true, &cancel);
    EXPECT_TRUE(run->cancelled());
    EXPECT_EQ(run->skippedCount(), 0) << "a read the cancel ended is no unreadable file";
    const QStringList kept = stored();
    EXPECT_LT(kept.size(), 48);
    EXPECT_EQ(kept.size(), run->fingerprintsStored());
    for (const QString& row : kept) {
        const QStringList parts = row.split(u'|');
        EXPECT_EQ(parts[2], truth.value(parts[1])) << parts[1].toStdString();
    }
    // Every record the walk handed on is kept, with or without its fingerprint.
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disk E'")), run->recordsKept());
}

TEST_F(FingerprintTest, UndoOfADeleteBringsTheFingerprintsBack)
{
    makeDisks();
    const auto a = scan(pathOf(QStringLiteral("A")), QStringLiteral("Disk A"));
    const QString key = a->topKey();
    const QStringList before = stored();
    UndoKeep keep;
    {
        UndoKeep::Attached attached(keep, db(), true);
        SQLite::Transaction write(db());
        keep.keep(db(), UndoKeep::Kind::DeleteFolder, QStringLiteral("Disk A"), key, QStringLiteral("A"));
        EXPECT_EQ(deleteScanRecords(db(), QStringLiteral("Disk A"), key), 7);
        keep.written(db());
        write.commit();
    }
    EXPECT_TRUE(stored().isEmpty());
    UndoKeep::Attached attached(keep, db(), false);
    EXPECT_EQ(keep.restore(db()), 7);
    EXPECT_EQ(stored(), before);
}

TEST_F(FingerprintTest, StoreOfTheFormatBeforeComesUpWithEveryRecord)
{
    const QString old = pathOf(QStringLiteral("old.mdb"));
    ASSERT_TRUE(Store::create(old, 4).isEmpty());
    {
        SQLite::Database db(old.toStdString(), SQLite::OPEN_READWRITE);
        for (int i = 1; i <= 50; ++i)
            db.exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes) VALUES ('"
                + std::to_string(i) + ">', '0_', 'Old', 'f', '/f" + std::to_string(i) + "', '1', '', '1>', 1)");
        db.exec("INSERT INTO Projects (FileName, ID) VALUES ('f', '3>')");
    }
    ASSERT_TRUE(Store::prepare(old).isEmpty());
    SQLite::Database db(old.toStdString(), SQLite::OPEN_READWRITE);
    EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), Store::kFormat);
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM main WHERE dbaseName = 'Old'").getInt(), 50);
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM Projects").getInt(), 1);
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM fingerprints").getInt(), 0);
    EXPECT_EQ(db.execAndGet("SELECT Name FROM fingerprint_algorithm").getString(), "XXH3-128");
    // The upgraded store holds fingerprints, and a record's goes with it.
    db.exec("INSERT INTO fingerprints VALUES (7, zeroblob(16), 1, 0)");
    db.exec("DELETE FROM main WHERE SrNO = 7");
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM fingerprints").getInt(), 0);
}

// Stores of format 7 could hold fingerprints shifted onto later records by a
// scan that listed archives too: from a scan's first member on they go, the
// rest of the store keeps them.
TEST_F(FingerprintTest, FingerprintsAfterAnArchiveOfAnOlderStoreAreDroppedTheOthersKept)
{
    const QString old = pathOf(QStringLiteral("seven.mdb"));
    ASSERT_TRUE(Store::create(old, 7).isEmpty());
    {
        SQLite::Database db(old.toStdString(), SQLite::OPEN_READWRITE);
        // name, parent, catalogue, archive depth: SrNO follows the order.
        const std::vector<std::tuple<const char*, const char*, const char*, int>> rows {
            {"a", "0>", "A", 0}, {"a1", "1>", "A", 0}, {"z", "1>", "A", 0}, {"m", "3>", "A", 1}, {"a2", "1>", "A", 0},
            {"other", "0>", "B", 0}, {"o1", "1>", "B", 0}, // another catalogue in between
            {"a3", "1>", "A", 0},
            {"b", "0>", "A", 0}, {"b1", "9>", "A", 0}}; // A's next scan, no archive
        for (const auto& [name, parent, catalogue, depth] : rows)
            db.exec(std::string("INSERT INTO main (ID, Parent, dbaseName, file_name, path, in_archive) VALUES ('x', '")
                + parent + "', '" + catalogue + "', '" + name + "', '/" + name + "', "
                + (depth ? std::to_string(depth) : "NULL") + ")");
        db.exec("INSERT INTO fingerprints SELECT SrNO, zeroblob(16), 1, 0 FROM main");
    }
    ASSERT_TRUE(Store::prepare(old).isEmpty());
    SQLite::Database db(old.toStdString());
    SQLite::Statement kept(db, "SELECT group_concat(file_name, ' ') FROM (SELECT file_name FROM main "
                               "JOIN fingerprints USING (SrNO) ORDER BY SrNO)");
    ASSERT_TRUE(kept.executeStep());
    EXPECT_EQ(kept.getColumn(0).getString(), "a a1 z other o1 b b1");
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM main").getInt(), 10);
}

TEST(SizeArgument, ReadsBytesAndUnits)
{
    EXPECT_EQ(parseSizeArgument(QStringLiteral("1500")), 1500u);
    EXPECT_EQ(parseSizeArgument(QStringLiteral("10K")), 10240u);
    EXPECT_EQ(parseSizeArgument(QStringLiteral("2.5M")), 2621440u);
    EXPECT_EQ(parseSizeArgument(QStringLiteral("1GiB")), 1073741824u);
    EXPECT_EQ(parseSizeArgument(QStringLiteral("1 mb")), 1048576u);
    for (const char* bad : {"", "ten", "-1", "1X", "nan", "1e30"})
        EXPECT_FALSE(parseSizeArgument(QString::fromLatin1(bad))) << bad;
}

} // namespace
