// SPDX-License-Identifier: GPL-3.0-or-later
// The search from the index kept on disk gives exactly what the copy read
// whole from the store gives, however the file was left.
#include "FindSupport.h"

#include "find/IndexFile.h"

#include <QFile>
#include <QThread>

#include <random>

using namespace qm::find;

namespace {

// What a user sees of a hit, to compare two searches by.
std::string shown(const std::vector<Hit>& hits)
{
    QStringList rows;
    for (const Hit& h : hits)
        rows << QStringList {QString::number(h.srNo), h.name, h.path, h.size, h.date, h.key, h.catalogue, h.disk,
                    h.folder ? QStringLiteral("folder") : QStringLiteral("file")}
                    .join(u'|');
    return rows.join(u'\n').toStdString();
}

std::vector<Hit> searchWith(SearchIndex& index, const QString& text, bool caseSensitive)
{
    const ParsedQuery parsed = parseQuery(text, caseSensitive);
    EXPECT_EQ(parsed.error, QString()) << text.toStdString();
    index.sync();
    std::vector<std::uint32_t> entries;
    index.search(parsed.query, [&](std::uint32_t e) {
        entries.push_back(e);
        return true;
    });
    return index.details(entries);
}

struct Case {
    const char* query;
    bool caseSensitive;
};
// Every form of query: words, wildcards, quotes, sizes on and off the
// coarse steps, dates, extensions, kinds, catalogues, notes, case.
const Case kCases[] = {{"report", false}, {"REPORT 2024", false}, {"*.pdf", false}, {"rep?rt*", false},
    {"report?", false}, {"star*name.txt", false}, {"\"star*name\"", false}, {"\"50% off\"", false},
    {"a_b", false}, {"it's", false}, {"size>1M", false}, {"size>=2M type:file", false}, {"size=500", false},
    {"size>2097151", false}, {"size<2097153 size>2097000", false}, {"size>1030 size<=1031", false},
    {"report size<1k", false}, {"after:2024-01-01 before:2024-02-01", false}, {"before:2024", false},
    {"after:2024-02-01", false}, {"ext:pdf", false}, {"ext:.jpg,doc", false}, {"rep type:folder", false},
    {"type:file", false}, {"report catalogue:\"Disk B\"", false}, {"catalogue:\"Disk A\" *.txt", false},
    {"catalogue:Disk", false}, {"budget", false}, {"quarterly summary", false}, {"budget ext:mp3", false},
    {"strasse", false}, {"stra?e*", false}, {"CAFÉ", false}, {"Report", true}, {"*.pdf", true},
    {"Straße", true}, {"STRASSE", true}, {"café", true}, {"é", true}, {"path:reports", false},
    {"path:rep?rts *.pdf", false}, {"path:old size>1k", false}, {"path:Reports", true}, {"path:size", false}};

} // namespace

class DiskIndexTest : public FindTest {
protected:
    void SetUp() override
    {
        FindTest::SetUp();
        file_ = indexPlaceOf(storePath()).file;
    }
    // Both disks, a third with names beyond ASCII, dates and register notes.
    void fill()
    {
        scanTwoDisks();
        makeFile(QStringLiteral("diskC/Straße.txt"), 1030);
        makeFile(QStringLiteral("diskC/Cafe\u0301.txt"), 1031); // the accent as a combining mark
        makeFile(QStringLiteral("diskC/size/exact.bin"), 2097152);
        scan(QStringLiteral("diskC"), QStringLiteral("Disk C"));
        setCreated(QStringLiteral("Report 2024.PDF"), "2024-01-15T09:00:00");
        setCreated(QStringLiteral("report-draft.txt"), "2024-02-01T00:00:00");
        setCreated(QStringLiteral("summary.pdf"), "2023-06-01T12:00:00");
        setCreated(QStringLiteral("Straße.txt"), "2024-01-31T23:59:59");
        const std::string key = db().execAndGet("SELECT ID FROM main WHERE file_name = 'summary.pdf'").getString();
        db().exec("INSERT INTO Documents (FileName, Type, Subject, ID) VALUES ('summary.pdf', 'PDF', "
                  "'Quarterly budget', '" + key + "')");
        db().exec("INSERT INTO Multimedia (Filename, Type, CopyrightInfo, LastAccess) VALUES ('song.mp3', "
                  "'Audio', 'Licensed budget tune', '')");
    }
    // Every case searched from the file and read whole: the same rows.
    void expectSameHits(SearchIndex& fromFile, const char* when)
    {
        SearchIndex whole(storePath());
        for (const Case& c : kCases) {
            const std::string expected = shown(searchWith(whole, QString::fromUtf8(c.query), c.caseSensitive));
            EXPECT_EQ(shown(searchWith(fromFile, QString::fromUtf8(c.query), c.caseSensitive)), expected)
                << when << ": " << c.query << (c.caseSensitive ? " (with case)" : "");
        }
        EXPECT_TRUE(fromFile.onDisk()) << when;
        EXPECT_EQ(fromFile.recordCount(), whole.recordCount()) << when;
        EXPECT_EQ(fromFile.catalogues(), whole.catalogues()) << when;
    }
    QString file_;
};

TEST_F(DiskIndexTest, EveryQueryGivesTheSameRowsAsTheWholeCopy)
{
    fill();
    SearchIndex first(storePath(), file_);
    first.sync();
    EXPECT_TRUE(first.takeNotice().contains(QStringLiteral("there is none yet")));
    ASSERT_TRUE(QFile::exists(file_));
    expectSameHits(first, "just written");
    // A fresh search maps the file as it is: nothing said, nothing rewritten.
    const QDateTime written = QFileInfo(file_).lastModified();
    SearchIndex again(storePath(), file_);
    expectSameHits(again, "mapped");
    EXPECT_EQ(again.takeNotice(), QString());
    EXPECT_EQ(QFileInfo(file_).lastModified(), written);
    // Beside the folded names, five bytes a record and a little more for
    // each block of them and the header.
    QString problem;
    const auto mapped = MappedIndex::open(file_, problem);
    ASSERT_TRUE(mapped) << problem.toStdString();
    EXPECT_EQ(mapped->records(), static_cast<std::uint32_t>(count()));
    EXPECT_LE(mapped->fileBytes() - mapped->names().size(), 512 + 5.5 * count());
}

TEST_F(DiskIndexTest, AStaleFileIsBroughtInStepByTheLog)
{
    fill();
    SearchIndex kept(storePath(), file_); // as the window keeps it
    kept.sync();
    const QDateTime written = QFileInfo(file_).lastModified();
    // Another writer renames, resizes, deletes a catalogue, changes a note-free name into a noted one.
    SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
    other.exec("UPDATE main SET file_name = 'Annual Report.pdf' WHERE file_name = 'a_b.txt'");
    other.exec("UPDATE main SET bytes = 99999999 WHERE file_name = 'axb.txt'");
    other.exec("DELETE FROM main WHERE dbaseName = 'Disk B'");
    makeFile(QStringLiteral("diskD/report four.txt"), 10);
    qm::FolderScan run(other, QStringLiteral("Disk D"), 1);
    run.run(qm::startFolderOf(pathOf(QStringLiteral("diskD"))));

    SearchIndex later(storePath(), file_);
    expectSameHits(later, "after another writer");
    expectSameHits(kept, "kept open");
    // A scan beside the search kept open, and a change of one of its new records.
    makeFile(QStringLiteral("diskE/report five.txt"), 10);
    makeFile(QStringLiteral("diskE/sub/report six.txt"), 20);
    qm::FolderScan more(other, QStringLiteral("Disk E"), 1);
    more.run(qm::startFolderOf(pathOf(QStringLiteral("diskE"))));
    expectSameHits(kept, "kept open, after a scan");
    other.exec("UPDATE main SET file_name = 'Report Seven.txt' WHERE file_name = 'report six.txt'");
    other.exec("DELETE FROM main WHERE file_name = 'report five.txt'");
    expectSameHits(kept, "kept open, after the scan's records changed");
    other.exec("UPDATE main SET bytes = 5 WHERE file_name = 'Report 2024.PDF'");
    expectSameHits(kept, "kept open, after a record of the file changed");
    EXPECT_EQ(searchWith(later, QStringLiteral("size>50M"), false).size(), 1U);
    EXPECT_EQ(later.takeNotice(), QString());
    EXPECT_EQ(QFileInfo(file_).lastModified(), written); // a small change is read, not written

    // A change of a register is not in the file: it is written again.
    other.exec("UPDATE Documents SET Subject = 'Yearly plan'");
    expectSameHits(later, "after a register changed");
    EXPECT_EQ(searchWith(later, QStringLiteral("yearly"), false).size(), 1U);

    // A log pruned past the file's place in it.
    other.exec("UPDATE main SET file_name = 'Q.txt' WHERE file_name = 'Photo.JPG'");
    other.exec("UPDATE main SET file_name = 'R.txt' WHERE file_name = 'starXname.txt'");
    other.exec("DELETE FROM change_log WHERE seq < (SELECT max(seq) FROM change_log)");
    SearchIndex pruned(storePath(), file_);
    expectSameHits(pruned, "after the log was pruned");
    EXPECT_TRUE(pruned.takeNotice().contains(QStringLiteral("Rebuilding")));
}

TEST_F(DiskIndexTest, ADamagedTruncatedRandomOrForeignFileIsRebuilt)
{
    fill();
    // Another store's index, to be found where this store's should be.
    QString foreign;
    {
        const QString otherStore = pathOf(QStringLiteral("other/database.mdb"));
        makeDir(QStringLiteral("other"));
        ASSERT_EQ(qm::Store::create(otherStore), QString());
        SearchIndex(otherStore, file_ + QStringLiteral(".foreign")).sync();
        foreign = file_ + QStringLiteral(".foreign");
    }
    SearchIndex(storePath(), file_).sync();
    const QByteArray good = readFile(file_);
    ASSERT_GT(good.size(), 200);
    std::mt19937 random(7);
    QByteArray noise(good.size(), '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    QByteArray flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x20);
    QByteArray newer = good;
    newer[8] = 9; // a format to come

    const std::pair<const char*, QByteArray> damages[] = {{"a byte changed", flipped},
        {"cut in half", good.left(good.size() / 2)}, {"cut in the header", good.left(40)}, {"empty", {}},
        {"random bytes", noise}, {"another store's", readFile(foreign)}, {"of a newer format", newer}};
    for (const auto& [what, bytes] : damages) {
        QFile out(file_);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        SearchIndex index(storePath(), file_);
        expectSameHits(index, what);
        EXPECT_TRUE(index.takeNotice().contains(QStringLiteral("Rebuilding"))) << what;
        QString problem;
        EXPECT_NE(MappedIndex::open(file_, problem), nullptr) << what << ": " << problem.toStdString();
    }
}

TEST_F(DiskIndexTest, AFileCheckedOnceIsTrustedOnlyWhileStatSaysItIsUnchanged)
{
    fill();
    SearchIndex(storePath(), file_).sync();
    QString problem;
    // Too fresh to vouch for: a write in the same tick would not show.
    ASSERT_NE(MappedIndex::open(file_, problem), nullptr) << problem.toStdString();
    EXPECT_FALSE(QFile::exists(file_ + QStringLiteral(".checked")));
    QThread::msleep(2200);
    ASSERT_NE(MappedIndex::open(file_, problem), nullptr) << problem.toStdString();
    EXPECT_TRUE(QFile::exists(file_ + QStringLiteral(".checked")));
    ASSERT_NE(MappedIndex::open(file_, problem), nullptr) << problem.toStdString();
    // A byte changed in place, the size and the file the same: found all the same.
    QFile file(file_);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 middle = file.size() / 2;
    file.seek(middle);
    char byte = 0;
    ASSERT_TRUE(file.getChar(&byte));
    file.seek(middle);
    ASSERT_TRUE(file.putChar(static_cast<char>(byte ^ 0x20)));
    file.close();
    EXPECT_EQ(MappedIndex::open(file_, problem), nullptr);
    EXPECT_TRUE(problem.contains(QStringLiteral("checksum"))) << problem.toStdString();
    SearchIndex index(storePath(), file_);
    expectSameHits(index, "after a byte changed in place");
}

TEST_F(DiskIndexTest, WithoutAPlaceForTheFileTheSearchSaysSoAndWorks)
{
    fill();
    // The cache folder's place is taken by a file: root cannot write there either.
    QDir(pathOf(QStringLiteral("cache/quillmark/find"))).removeRecursively();
    makeFile(QStringLiteral("cache/quillmark/find"), QByteArray("in the way"));
    SearchIndex index(storePath(), file_);
    SearchIndex whole(storePath());
    for (const Case& c : kCases)
        EXPECT_EQ(shown(searchWith(index, QString::fromUtf8(c.query), c.caseSensitive)),
            shown(searchWith(whole, QString::fromUtf8(c.query), c.caseSensitive)))
            << c.query;
    EXPECT_FALSE(index.onDisk());
    const QString notice = index.takeNotice();
    EXPECT_TRUE(notice.contains(QStringLiteral("searching without it"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(file_)) << notice.toStdString();
    // Said once.
    searchWith(index, QStringLiteral("report"), false);
    EXPECT_EQ(index.takeNotice(), QString());

}

TEST_F(DiskIndexTest, AWriterKilledBeforeItsRenameLeavesTheOldFileWhole)
{
    fill();
    SearchIndex(storePath(), file_).sync();
    const QByteArray good = readFile(file_);
    // What a writer killed half way leaves: a part of a file beside the index.
    const QString old = makeFile(QFileInfo(file_).fileName().prepend(QStringLiteral("cache/quillmark/find/"))
            + QStringLiteral(".Ab12Cd"),
        good.left(good.size() / 3));
    const QString young = file_ + QStringLiteral(".Ef34Gh");
    QFile::copy(old, young);
    QFile leftover(old);
    ASSERT_TRUE(leftover.open(QIODevice::ReadWrite));
    ASSERT_TRUE(leftover.setFileTime(QDateTime::currentDateTime().addSecs(-7200), QFileDevice::FileModificationTime));
    leftover.close();

    SearchIndex index(storePath(), file_);
    expectSameHits(index, "beside a killed writer's leftovers");
    EXPECT_EQ(index.takeNotice(), QString()); // the old file was whole
    index.reindex();
    EXPECT_FALSE(QFile::exists(old)); // an hour old: its writer is gone
    EXPECT_TRUE(QFile::exists(young)); // its writer may still be at work
    expectSameHits(index, "rebuilt");
}

TEST(CoarseFields, EverySizeAndDayLiesInWhatItsCodeStandsFor)
{
    std::mt19937_64 random(3);
    std::int64_t previousLo = -1;
    std::uint8_t previousCode = coarse::kNoSize;
    for (std::int64_t bytes : std::initializer_list<std::int64_t> {0, 1, 15, 16, 17, 31, 32, 1023, 1024, 1025, 2047,
             2048, 2097152, 1LL << 40, (1LL << 62) + 12345, std::numeric_limits<std::int64_t>::max()}) {
        const std::uint8_t code = coarse::sizeCode(bytes);
        EXPECT_NE(code, coarse::kNoSize);
        EXPECT_NE(code, coarse::kAnySize);
        const auto [lo, hi] = coarse::sizeRange(code);
        EXPECT_LE(lo, bytes);
        EXPECT_GE(hi, bytes);
        EXPECT_LE(hi - lo, std::max<std::int64_t>(bytes / 4, 0)) << bytes;
        // Codes keep the order of sizes; sizes close together share one.
        if (lo != previousLo) {
            EXPECT_GT(lo, previousLo) << bytes;
        }
        EXPECT_EQ(lo == previousLo, code == previousCode) << bytes;
        previousLo = lo;
        previousCode = code;
    }
    for (int i = 0; i < 100000; ++i) {
        const auto bytes = static_cast<std::int64_t>(random() >> (random() % 63 + 1));
        const auto [lo, hi] = coarse::sizeRange(coarse::sizeCode(bytes));
        ASSERT_TRUE(lo <= bytes && bytes <= hi) << bytes;
    }
    EXPECT_EQ(coarse::sizeCode(-1), coarse::kAnySize);

    // Days: every second of 1900 to 2079 in the day its code stands for,
    // before 1970 too; anything else always looked at.
    for (int i = 0; i < 100000; ++i) {
        const std::int64_t seconds = static_cast<std::int64_t>(random() % 5600000000ULL) - 2208988800LL;
        const std::uint16_t code = coarse::dayOf(seconds);
        ASSERT_LT(code, coarse::kAnyDay) << seconds;
        const auto [lo, hi] = coarse::dayRange(code);
        ASSERT_TRUE(lo <= seconds && seconds <= hi && hi - lo == 86399 && lo % 86400 == 0) << seconds;
    }
    EXPECT_EQ(coarse::dayRange(coarse::dayOf(-1)), std::make_pair(std::int64_t(-86400), std::int64_t(-1)));
    EXPECT_EQ(coarse::dayRange(coarse::dayOf(0)), std::make_pair(std::int64_t(0), std::int64_t(86399)));
    EXPECT_EQ(coarse::dayOf(-2208988801LL), coarse::kAnyDay); // the last second of 1899
    for (std::int64_t far : {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min(),
             std::int64_t(5000000000LL)})
        EXPECT_EQ(coarse::dayOf(far), coarse::kAnyDay) << far;
}
