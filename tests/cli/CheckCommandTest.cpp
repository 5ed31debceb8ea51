// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/Store.h"
#include "support/Damage.h"
#include "ProgramTest.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qmtest::Outcome;

class CheckCommand : public qmtest::ProgramTest {
protected:
    // A catalogue of a real tree of a few thousand entries, scanned (and so
    // checked and marked sound) by the program.
    void scanTree()
    {
        for (int f = 0; f < 40; ++f)
            for (int i = 0; i < 50; ++i)
                makeFile(QStringLiteral("disk/folder%1/a rather long file name %2.txt").arg(f).arg(i), i);
        const Outcome add = quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("disk")),
            QStringLiteral("--name=Disks")});
        ASSERT_EQ(add.status, 0) << add.err.toStdString();
        ASSERT_TRUE(qm::Store::isMarkedChecked(storePath()));
    }
    // Every row of main in a store, as text.
    static QSet<QString> rowsOf(const QString& path)
    {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
        SQLite::Statement st(db, "SELECT SrNO, ID, Parent, dbaseName, file_name, path, size, date, delKey FROM main");
        QSet<QString> rows;
        while (st.executeStep()) {
            QStringList cells;
            for (int i = 0; i < 9; ++i)
                cells << QString::fromStdString(st.getColumn(i).getString());
            rows.insert(cells.join(u'|'));
        }
        return rows;
    }
    // Puts the mark's last full check `days` back.
    void ageFullCheck(int days)
    {
        QFile mark(qm::Store::markFileOf(storePath()));
        ASSERT_TRUE(mark.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = mark.readAll().split('\n');
        mark.close();
        bool aged = false;
        for (QByteArray& line : lines)
            if (line.startsWith("full ")) {
                line = "full " + QByteArray::number(QDateTime::currentSecsSinceEpoch() - days * 24 * 3600);
                aged = true;
            }
        ASSERT_TRUE(aged) << "the mark keeps no full check";
        ASSERT_TRUE(mark.open(QIODevice::WriteOnly | QIODevice::Truncate));
        mark.write(lines.join('\n'));
    }
};

} // namespace

TEST_F(CheckCommand, ASoundStoreIsSaidSoundAndWhatCannotBeCheckedIsAnError)
{
    scanTree();
    const Outcome sound = quillmark({QStringLiteral("check")});
    EXPECT_EQ(sound.status, 0) << sound.err.toStdString();
    EXPECT_TRUE(sound.out.contains(storePath()) && sound.out.contains(QStringLiteral("is sound")))
        << sound.out.toStdString();

    const Outcome missing = quillmark({QStringLiteral("--database"), pathOf(QStringLiteral("none.mdb")),
        QStringLiteral("check")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.contains(pathOf(QStringLiteral("none.mdb")))) << missing.err.toStdString();
    makeFile(QStringLiteral("text.mdb"), QByteArray("just some text, not a catalogue"));
    EXPECT_EQ(quillmark({QStringLiteral("--database"), pathOf(QStringLiteral("text.mdb")), QStringLiteral("check")}).status, 2);
    EXPECT_EQ(quillmark({QStringLiteral("check"), QStringLiteral("--recover")}).status, 2);
    EXPECT_EQ(quillmark({QStringLiteral("check"), QStringLiteral("--quick")}).status, 2);
}

TEST_F(CheckCommand, BitRotIsFoundByTheCheckAndWritesAreRefusedUntilTheRecordsAreRecovered)
{
    scanTree();
    const QString original = pathOf(QStringLiteral("original.mdb"));
    ASSERT_TRUE(QFile::copy(storePath(), original));
    const long long records = count();
    const auto leaves = qmtest::pagesOf(db(), "main");
    if (leaves.size() < 4)
        GTEST_SKIP() << "SQLite here has no dbstat table to find main's pages with";
    const long long page = leaves[leaves.size() / 2];
    const long long lostAtMost = qmtest::cellsOn(db(), page);
    resetConnection();
    qmtest::rotPage(storePath(), page);

    // Found no later than the next full check: here the one that is due.
    ageFullCheck(2);
    const QByteArray damaged = readFile(storePath());
    makeFile(QStringLiteral("more/new.txt"), 5);
    const Outcome add = quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("more")),
        QStringLiteral("--name=Disks")});
    EXPECT_EQ(add.status, 1);
    EXPECT_TRUE(add.err.contains(storePath()) && add.err.contains(QStringLiteral("damaged"))
        && add.err.contains(QStringLiteral("quillmark check --recover NEW.mdb")))
        << add.err.toStdString();

    const Outcome check = quillmark({QStringLiteral("check")});
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(check.out.contains(storePath()) && check.out.contains(QStringLiteral("damaged")))
        << check.out.toStdString();

    // The verdict is remembered: every write is refused at once, and the file left as it was.
    const Outcome again = quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("more")),
        QStringLiteral("--name=Disks")});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("check --recover"))) << again.err.toStdString();
    EXPECT_EQ(quillmark({QStringLiteral("update"), QStringLiteral("Disks"), pathOf(QStringLiteral("disk"))}).status, 1);
    EXPECT_EQ(readFile(storePath()), damaged);

    // What the recovery will not write over: the store, an existing file, links, a device.
    const QString taken = makeFile(QStringLiteral("taken.mdb"), QByteArray("mine"));
    ASSERT_EQ(::symlink("nowhere.mdb", QFile::encodeName(pathOf(QStringLiteral("dangling.mdb"))).constData()), 0);
    ASSERT_EQ(::symlink("database.mdb", QFile::encodeName(pathOf(QStringLiteral("link.mdb"))).constData()), 0);
    for (const QString& target : {storePath(), taken, pathOf(QStringLiteral("dangling.mdb")),
             pathOf(QStringLiteral("link.mdb")), QStringLiteral("/dev/null")}) {
        const Outcome refused = quillmark({QStringLiteral("check"), QStringLiteral("--recover"), target});
        EXPECT_EQ(refused.status, 2) << target.toStdString();
        EXPECT_TRUE(refused.err.contains(QStringLiteral("already exists"))) << refused.err.toStdString();
    }
    EXPECT_EQ(readFile(taken), QByteArray("mine"));
    EXPECT_FALSE(QFile::exists(pathOf(QStringLiteral("nowhere.mdb"))));
    EXPECT_EQ(readFile(storePath()), damaged);

    // Every readable record, exactly as it was, in a store that works as any other.
    const QString recovered = pathOf(QStringLiteral("recovered.mdb"));
    const Outcome recover = quillmark({QStringLiteral("check"), QStringLiteral("--recover=recovered.mdb")});
    ASSERT_EQ(recover.status, 0) << recover.err.toStdString();
    EXPECT_TRUE(recover.out.contains(recovered)) << recover.out.toStdString();
    const QSet<QString> before = rowsOf(original);
    const QSet<QString> after = rowsOf(recovered);
    EXPECT_EQ(before.size(), records);
    EXPECT_GE(after.size(), records - lostAtMost);
    EXPECT_LT(after.size(), records);
    EXPECT_TRUE(before.contains(after));
    EXPECT_TRUE(recover.out.contains(QStringLiteral("Recovered %1 catalogue record(s)").arg(after.size())))
        << recover.out.toStdString();
    EXPECT_EQ(qm::Store::problemWith(recovered), QString());
    {
        SQLite::Database copy(recovered.toStdString(), SQLite::OPEN_READONLY);
        EXPECT_EQ(copy.execAndGet("PRAGMA integrity_check").getString(), "ok");
        EXPECT_EQ(copy.execAndGet("PRAGMA user_version").getInt(), qm::Store::kFormat);
        // Keys go on above every key the damaged store handed out.
        SQLite::Database old(original.toStdString(), SQLite::OPEN_READONLY);
        const char* const lastKey = "SELECT lastKey FROM catalogue_keys WHERE dbaseName = 'Disks'";
        EXPECT_EQ(copy.execAndGet(lastKey).getInt64(), old.execAndGet(lastKey).getInt64());
    }
    const Outcome checkCopy = quillmark({QStringLiteral("--database"), recovered, QStringLiteral("check")});
    EXPECT_EQ(checkCopy.status, 0) << checkCopy.out.toStdString();
    const Outcome addToCopy = quillmark({QStringLiteral("--database"), recovered, QStringLiteral("add-folder"),
        pathOf(QStringLiteral("more")), QStringLiteral("--name=Disks")});
    EXPECT_EQ(addToCopy.status, 0) << addToCopy.err.toStdString();
    EXPECT_EQ(readFile(storePath()), damaged);
}

TEST_F(CheckCommand, DamageToAnIndexIsFoundByTheFullCheckAndLosesNoRecord)
{
    scanTree();
    const long long records = count();
    const auto indexPages = qmtest::pagesOf(db(), "main_dbase_parent_id");
    if (indexPages.empty())
        GTEST_SKIP() << "SQLite here has no dbstat table to find the index's pages with";
    resetConnection();
    qmtest::rotPage(storePath(), indexPages[indexPages.size() / 2]);

    // Within the day of its last full check the file, as it was left, is not read again for a write.
    {
        SQLite::Database reader(storePath().toStdString(), SQLite::OPEN_READONLY);
        EXPECT_EQ(qm::Store::damageSinceChecked(reader), QString());
    }
    const Outcome check = quillmark({QStringLiteral("check")});
    EXPECT_EQ(check.status, 1) << check.out.toStdString();
    EXPECT_FALSE(qm::Store::rememberedDamage(storePath()).isEmpty());

    const Outcome recover = quillmark({QStringLiteral("check"), QStringLiteral("--recover"), QStringLiteral("copy.mdb")});
    ASSERT_EQ(recover.status, 0) << recover.err.toStdString();
    SQLite::Database copy(pathOf(QStringLiteral("copy.mdb")).toStdString(), SQLite::OPEN_READONLY);
    EXPECT_EQ(copy.execAndGet("SELECT count(*) FROM main").getInt64(), records);
    EXPECT_EQ(copy.execAndGet("PRAGMA integrity_check").getString(), "ok");
}

TEST_F(CheckCommand, BytesChangedInsideARecordAreFoundThoughEveryPageStaysWellFormed)
{
    scanTree();
    // The path of one record, spelt differently in place: same length, the
    // page's structure untouched, the modification time put back.
    QByteArray bytes = readFile(storePath());
    const QByteArray text = "folder17/a rather long file name 23.txt";
    const qsizetype at = bytes.indexOf(text);
    ASSERT_GE(at, 0);
    struct stat before;
    ASSERT_EQ(::stat(QFile::encodeName(storePath()).constData(), &before), 0);
    {
        QFile store(storePath());
        ASSERT_TRUE(store.open(QIODevice::ReadWrite));
        store.seek(at + 11);
        store.write("RATHER");
    }
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(storePath()).constData(), times, 0), 0);
    {
        SQLite::Database reader(storePath().toStdString(), SQLite::OPEN_READONLY);
        ASSERT_EQ(reader.execAndGet("PRAGMA integrity_check").getString(), "ok")
            << "the damage was meant to be one SQLite cannot see";
    }

    const Outcome check = quillmark({QStringLiteral("check")});
    EXPECT_EQ(check.status, 1) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(storePath()) && check.out.contains(QStringLiteral("behind the program's back")))
        << check.out.toStdString();
    makeFile(QStringLiteral("more/new.txt"), 5);
    EXPECT_EQ(quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("more")), QStringLiteral("--name=Disks")})
                  .status,
        1);

    // Checked again, the file still differs from the content it was left
    // with, though SQLite reads it well; a copy of its records is the way on.
    EXPECT_EQ(quillmark({QStringLiteral("check")}).status, 1);
    const Outcome recover = quillmark({QStringLiteral("check"), QStringLiteral("--recover"), QStringLiteral("copy.mdb")});
    ASSERT_EQ(recover.status, 0) << recover.err.toStdString();
    EXPECT_EQ(quillmark({QStringLiteral("--database"), pathOf(QStringLiteral("copy.mdb")), QStringLiteral("check")}).status, 0);
}
