// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Export.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <functional>
#include <optional>
#include <thread>
#include <vector>

using namespace qm;

namespace {

class ExportTest : public qmtest::StoreTest {
protected:
    // One record of main with every column given; an empty optional is NULL.
    void add(const QString& catalogue, const QString& id, const QByteArray& fileName, const QByteArray& path,
        std::optional<long long> bytes = {}, const QByteArray& rawPath = {})
    {
        SQLite::Statement st(db(),
            "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, created, "
            "modified, raw_path) VALUES (?, '1>', ?, ?, ?, '1.50 KB', '2026-01-02 03:04:05', '1>', ?, "
            "1767322800, NULL, ?)");
        st.bind(1, id.toStdString());
        st.bind(2, catalogue.toStdString());
        // Texts go in byte for byte, as a store written elsewhere may hold them.
        st.bind(3, fileName.toStdString());
        st.bind(4, path.toStdString());
        if (bytes)
            st.bind(5, static_cast<int64_t>(*bytes));
        if (!rawPath.isNull())
            st.bind(6, rawPath.constData(), static_cast<int>(rawPath.size()));
        st.exec();
    }

    QByteArray exported(const QString& catalogue, Export::Format format, std::int64_t* records = nullptr)
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const Export::Result r = Export::write(db(), catalogue, format, out);
        EXPECT_TRUE(r.problem.isEmpty()) << r.problem.toStdString();
        if (records)
            *records = r.records;
        return out.data();
    }

    // The rows of a CSV file as the sqlite3 program's CSV reader reads them,
    // the header row first.
    std::vector<QStringList> readCsv(const QByteArray& csv)
    {
        const QString file = pathOf(QStringLiteral("export.csv"));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(csv) == csv.size());
        f.close();
        const QString imported = pathOf(QStringLiteral("imported.db"));
        QFile::remove(imported);
        const qmtest::Outcome sqlite = qmtest::runProgram(
            QStringLiteral("sqlite3"), {imported, QStringLiteral(".import --csv %1 t").arg(file)});
        EXPECT_EQ(sqlite.status, 0) << "the sqlite3 program (Debian package sqlite3) reads the CSV: "
                                    << sqlite.err.toStdString();
        SQLite::Database in(imported.toStdString());
        std::vector<QStringList> rows(1);
        SQLite::Statement names(in, "SELECT name FROM pragma_table_info('t') ORDER BY cid");
        while (names.executeStep())
            rows[0] << QString::fromStdString(names.getColumn(0).getString());
        SQLite::Statement st(in, "SELECT * FROM t ORDER BY rowid");
        while (st.executeStep()) {
            QStringList row;
            for (int i = 0; i < st.getColumnCount(); ++i)
                row << QString::fromUtf8(st.getColumn(i).getText());
            rows.push_back(row);
        }
        return rows;
    }
};

} // namespace

TEST_F(ExportTest, EveryRecordOfTheCatalogueRoundTripsThroughCsvAndJsonReaders)
{
    const QByteArray odd("/disk/caf\xe9\xff/"); // not UTF-8: the scan keeps the bytes in raw_path
    add(QStringLiteral("Disks"), QStringLiteral("1>"), "/disk", "/disk/", 4096);
    add(QStringLiteral("Other"), QStringLiteral("1>"), "/other", "/other/", 1);
    add(QStringLiteral("Disks"), QStringLiteral("2>"), "O'Brien's, \"best\" one.txt", "/disk/O'Brien's, \"best\" one.txt",
        9223372036854775807LL);
    add(QStringLiteral("Disks"), QStringLiteral("3>"), "two\nlines\r\nand a CR\r", "/disk/two\nlines", 0);
    add(QStringLiteral("Disks"), QStringLiteral("4>"), "caf\\xe9\\xff", "/disk/caf\\xe9\\xff/", {}, odd);
    add(QStringLiteral("Disks"), QStringLiteral("5>"), QByteArray("bad\xc3name"), "tab\tback\\slash \x01 \xe2\x82\xac");
    add(QStringLiteral("Disks "), QStringLiteral("6>"), "a catalogue whose name differs by a blank", "/x");
    // The disk of scan 1> of "Disks" has a place; that of "Other" has none.
    db().exec("INSERT INTO scans (dbaseName, topKey, uuid) VALUES ('Disks', '1>', 'U-1'), ('Other', '1>', 'U-2')");
    db().exec("INSERT INTO disk_places (uuid, location) VALUES ('U-1', 'shelf 3, box B')");

    QStringList columns {"ID", "Parent", "dbaseName", "file_name", "path", "size", "date", "SrNO", "delKey",
        "bytes", "created", "modified", "raw_path", "in_archive", "fingerprint"};
    const QStringList mediaColumns {"media_taken", "media_make", "media_model", "media_lens", "media_width", "media_height", "media_latitude", "media_longitude", "media_artist", "media_album", "media_title", "media_track", "media_year", "media_duration_ms", "media_codec"};
    columns += mediaColumns;
    columns << QStringLiteral("location");
    // What each record of "Disks" reads as, in SrNO order.
    std::vector<QStringList> expected {
        {"1>", "1>", "Disks", "/disk", "/disk/", "1.50 KB", "2026-01-02 03:04:05", "1", "1>", "4096", "1767322800",
            "", "", "", "", "shelf 3, box B"},
        {"2>", "1>", "Disks", "O'Brien's, \"best\" one.txt", "/disk/O'Brien's, \"best\" one.txt", "1.50 KB",
            "2026-01-02 03:04:05", "3", "1>", "9223372036854775807", "1767322800", "1767322801", "", "",
            "00112233445566778899aabbccddeeff", "shelf 3, box B"},
        {"3>", "1>", "Disks", "two\nlines\r\nand a CR\r", "/disk/two\nlines", "1.50 KB", "2026-01-02 03:04:05", "4",
            "1>", "0", "1767322800", "1767322801", "", "", "", "shelf 3, box B"},
        {"4>", "1>", "Disks", "caf\\xe9\\xff", "/disk/caf\\xe9\\xff/", "1.50 KB", "2026-01-02 03:04:05", "5", "1>", "",
            "1767322800", "", QString::fromLatin1(odd.toHex()), "", "", "shelf 3, box B"},
        {"5>", "1>", "Disks", QStringLiteral("bad\ufffdname"), QStringLiteral("tab\tback\\slash \x01 \u20ac"),
            "1.50 KB", "2026-01-02 03:04:05", "6", "1>", "", "1767322800", "", "", "", "", "shelf 3, box B"},
    };
    // No file of these was read for media details: those columns are empty.
    for (QStringList& row : expected)
        for (qsizetype k = 0; k < mediaColumns.size(); ++k)
            row.insert(row.size() - 1, QString());
    // A file whose contents were read: its fingerprint comes last, while the
    // record's size and time are those it was read at.
    db().exec("UPDATE main SET modified = 1767322801 WHERE SrNO IN (3, 4)");
    db().exec("INSERT INTO fingerprints VALUES (3, x'00112233445566778899aabbccddeeff', 9223372036854775807, "
              "1767322801999999999), (4, x'00112233445566778899aabbccddeeff', 0, 1767322802000000000)");

    std::int64_t records = 0;
    const QByteArray csv = exported(QStringLiteral("Disks"), Export::Format::Csv, &records);
    EXPECT_EQ(records, 5);
    EXPECT_TRUE(csv.startsWith("ID,Parent,dbaseName,file_name,path,size,date,SrNO,delKey,bytes,created,modified,"
                               "raw_path,in_archive,fingerprint,media_taken,media_make,media_model,media_lens,media_width,media_height,media_latitude,media_longitude,media_artist,media_album,media_title,media_track,media_year,media_duration_ms,media_codec,location\r\n1>,1>,Disks,"
                               "/disk,/disk/,"));
    EXPECT_TRUE(csv.endsWith(",1767322800,,,,," + QByteArray(mediaColumns.size(), ',') + "\"shelf 3, box B\"\r\n"));
    const std::vector<QStringList> rows = readCsv(csv);
    ASSERT_EQ(rows.size(), expected.size() + 1);
    EXPECT_EQ(rows[0], columns);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(rows[i + 1], expected[i]) << i;
    EXPECT_EQ(QByteArray::fromHex(rows[4][12].toLatin1()), odd);

    const QByteArray json = exported(QStringLiteral("Disks"), Export::Format::Json);
    EXPECT_TRUE(QByteArrayView(json).isValidUtf8());
    const QList<QByteArray> lines = json.split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines.last().isEmpty());
    for (size_t i = 0; i < expected.size(); ++i) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[i].toStdString();
        EXPECT_EQ(o.keys().size(), columns.size());
        for (int c = 0; c < columns.size(); ++c) {
            const QJsonValue v = o.value(columns[c]);
            // Numbers are numbers, unknown values null, everything else text.
            if (expected[i][c].isEmpty() && c >= 9)
                EXPECT_TRUE(v.isNull()) << columns[c].toStdString();
            else if (c == 7 || c == 9 || c == 10 || c == 11)
                EXPECT_EQ(QString::number(v.toInteger()), expected[i][c]) << columns[c].toStdString();
            else
                EXPECT_EQ(v.toString(), expected[i][c]) << columns[c].toStdString();
        }
    }

    // A catalogue the store never heard of is told apart from an empty one.
    EXPECT_TRUE(Export::knows(db(), QStringLiteral("Disks")));
    EXPECT_FALSE(Export::knows(db(), QStringLiteral("disks")));
    db().exec("INSERT INTO catalogue_keys (dbaseName, lastKey) VALUES ('Emptied', 40)");
    EXPECT_TRUE(Export::knows(db(), QStringLiteral("Emptied")));
    EXPECT_EQ(exported(QStringLiteral("Emptied"), Export::Format::Csv).count("\r\n"), 1); // the header alone
    EXPECT_TRUE(exported(QStringLiteral("Emptied"), Export::Format::Json).isEmpty());
}

namespace {

// An output that, as each piece arrives, has another connection try to store
// a record of the catalogue without waiting for a lock; or that fails.
class WritingOutput : public QIODevice {
public:
    WritingOutput(const QString& store, bool fail) : other_(store.toStdString(), SQLite::OPEN_READWRITE), fail_(fail)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray data;
    int storedMeanwhile = 0;
    int refusedMeanwhile = 0;
    std::function<void()> onFirstWrite;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* bytes, qint64 size) override
    {
        if (fail_ && !data.isEmpty()) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        if (data.isEmpty() && onFirstWrite)
            onFirstWrite();
        data.append(bytes, size);
        try {
            SQLite::Transaction t(other_);
            other_.exec("INSERT INTO main (ID, dbaseName, path) VALUES ('late', 'Big', '/late')");
            t.commit();
            ++storedMeanwhile;
        } catch (const SQLite::Exception& e) {
            EXPECT_EQ(e.getErrorCode(), SQLITE_BUSY) << e.what();
            ++refusedMeanwhile;
        }
        return size;
    }

private:
    SQLite::Database other_;
    bool fail_;
};

} // namespace

TEST_F(ExportTest, AnExportReadsOneStateWhileWritersWaitAndIsToldWhenItsOutputFails)
{
    // More records than one slice, stored in an order other than their keys'.
    {
        SQLite::Transaction t(db());
        SQLite::Statement st(db(), "INSERT INTO main (ID, dbaseName, path) VALUES (?, ?, '/p')");
        for (int i = 0; i < 20000; ++i) {
            st.reset();
            st.bind(1, std::to_string(20000 - i) + ">");
            st.bind(2, i % 10 == 0 ? "Small" : "Big");
            st.exec();
        }
        t.commit();
    }
    // A writer that does not wait is refused while the export reads; one
    // that waits gets in once it is done.
    WritingOutput out(storePath(), false);
    bool waitedAndStored = false;
    std::thread patient;
    out.onFirstWrite = [&] {
        patient = std::thread([&] {
            SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
            other.setBusyTimeout(60000);
            other.exec("INSERT INTO main (ID, dbaseName, path) VALUES ('waited', 'Big', '/waited')");
            waitedAndStored = true;
        });
    };
    const Export::Result r = Export::write(db(), QStringLiteral("Big"), Export::Format::Json, out);
    if (patient.joinable())
        patient.join();
    EXPECT_TRUE(r.problem.isEmpty()) << r.problem.toStdString();
    EXPECT_TRUE(waitedAndStored);
    EXPECT_EQ(out.storedMeanwhile, 0);
    EXPECT_EQ(out.refusedMeanwhile, 3); // one try a slice
    EXPECT_EQ(r.records, 18000);
    const QList<QByteArray> lines = out.data.trimmed().split('\n');
    ASSERT_EQ(lines.size(), r.records);
    long long previous = 0;
    for (const QByteArray& line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ASSERT_EQ(o.value(QStringLiteral("dbaseName")).toString(), QStringLiteral("Big"));
        const long long serial = o.value(QStringLiteral("SrNO")).toInteger();
        ASSERT_GT(serial, previous);
        previous = serial;
    }
    // Inside a read of the caller's, the caller's state is the one exported.
    {
        const Export::OneState state(db());
        EXPECT_TRUE(Export::knows(db(), QStringLiteral("Big")));
        WritingOutput again(storePath(), false);
        EXPECT_EQ(Export::write(db(), QStringLiteral("Big"), Export::Format::Csv, again).records, 18001);
        EXPECT_EQ(again.storedMeanwhile, 0);
        EXPECT_EQ(Export::write(db(), QStringLiteral("Big"), Export::Format::Csv, again).records, 18001);
    }
    EXPECT_TRUE(Export::readingHoldsWriters(db()));

    WritingOutput full(storePath(), true);
    const Export::Result stopped = Export::write(db(), QStringLiteral("Big"), Export::Format::Csv, full);
    EXPECT_TRUE(stopped.problem.contains(QStringLiteral("No space left on device"))) << stopped.problem.toStdString();
    EXPECT_EQ(stopped.records, 8192); // the first slice went out whole
}
