// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/Recovery.h"
#include "catalog/store/Store.h"
#include "support/Damage.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <SQLiteCpp/Transaction.h>

using namespace qm;

namespace {

class StoreCheck : public qmtest::StoreTest {
protected:
    void fill(int records)
    {
        SQLite::Transaction t(db());
        for (int i = 1; i <= records; ++i)
            addRecord(QStringLiteral("%1>").arg(i), QStringLiteral("0>"), QStringLiteral("Disks"),
                QStringLiteral("name %1 of some length.txt").arg(i), QStringLiteral("/d/name %1 of some length.txt").arg(i));
        t.commit();
    }
};

} // namespace

TEST_F(StoreCheck, TheMarkKeepsTheLastFullCheckAndADamageVerdictForThatFileOnly)
{
    const long long now = QDateTime::currentSecsSinceEpoch();
    // A mark of the version before holds the file's state alone: sound, but a full check is due.
    Store::markChecked(storePath());
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    EXPECT_TRUE(Store::fullCheckDue(Store::markOf(storePath()), now));

    Store::markFullCheck(storePath(), now - 60);
    EXPECT_FALSE(Store::fullCheckDue(Store::markOf(storePath()), now));
    // The program's own write keeps the time of the last full check.
    Store::writeKeepingMark(db(), [&] { db().exec("INSERT INTO Projects (FileName) VALUES ('x')"); });
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    EXPECT_EQ(Store::markOf(storePath()).lastFullCheck, now - 60);

    // Damage found: not marked sound, refused, until a check finds it sound.
    Store::markDamaged(storePath(), QStringLiteral("Tree 2 page 7: btreeInitPage() returns error code 11"));
    EXPECT_FALSE(Store::isMarkedChecked(storePath()));
    EXPECT_TRUE(Store::rememberedDamage(storePath()).contains(storePath()));
    EXPECT_TRUE(Store::damageSinceChecked(db()).contains(QStringLiteral("btreeInitPage")));
    EXPECT_THROW(Store::writeKeepingMark(db(), [&] { db().exec("DELETE FROM Projects"); }), SQLite::Exception);
    EXPECT_EQ(count(QString(), QStringLiteral("Projects")), 1);
    EXPECT_EQ(Store::damage(db(), Store::CheckDepth::Full), QString());
    EXPECT_TRUE(Store::rememberedDamage(storePath()).isEmpty());
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));

    // Another file put in its place (a backup restored) is not the damaged one, and is checked afresh.
    Store::markDamaged(storePath(), QStringLiteral("found damaged"));
    resetConnection();
    const QString copy = pathOf(QStringLiteral("copy.mdb"));
    ASSERT_TRUE(QFile::copy(storePath(), copy));
    ASSERT_TRUE(QFile::remove(storePath()));
    ASSERT_TRUE(QFile::rename(copy, storePath()));
    EXPECT_TRUE(Store::rememberedDamage(storePath()).isEmpty());
    EXPECT_TRUE(Store::fullCheckDue(Store::markOf(storePath()), now));
}

TEST_F(StoreCheck, RecoveryCopiesEveryReadableRowAroundDamagedPagesAndLeavesNothingWhenStopped)
{
    fill(3000);
    db().exec("INSERT INTO Projects (FileName, Completed) VALUES ('plan', 'yes')");
    const auto leaves = qmtest::pagesOf(db(), "main");
    const auto inner = qmtest::pagesOf(db(), "main", "internal");
    if (leaves.size() < 10)
        GTEST_SKIP() << "SQLite here has no dbstat table to find main's pages with";
    // Two leaves apart, and the first: three stretches of rows lost, the rest read.
    const long long lost = qmtest::cellsOn(db(), leaves[0]) + qmtest::cellsOn(db(), leaves[3])
        + qmtest::cellsOn(db(), leaves[7]);
    resetConnection();
    for (long long page : {leaves[0], leaves[3], leaves[7]})
        qmtest::rotPage(storePath(), page, static_cast<unsigned>(page));

    const QString target = pathOf(QStringLiteral("back.mdb"));
    Store::Recovered got;
    ASSERT_EQ(Store::recover(storePath(), target, got), QString());
    EXPECT_EQ(got.rows(), 3000 - lost + 2); // the plan, and the row naming the fingerprints' hash
    EXPECT_EQ(got.damagedStretches(), 3);
    SQLite::Database back(target.toStdString(), SQLite::OPEN_READONLY);
    EXPECT_EQ(back.execAndGet("SELECT count(*) FROM main").getInt64(), 3000 - lost);
    EXPECT_EQ(back.execAndGet("SELECT max(SrNO) FROM main").getInt64(), 3000);
    EXPECT_EQ(back.execAndGet("SELECT FileName || Completed FROM Projects").getString(), "planyes");
    // Numbers taken from the store's own counter: the next record does not take a lost one's number.
    EXPECT_EQ(back.execAndGet("SELECT seq FROM sqlite_sequence WHERE name = 'main'").getInt64(), 3000);

    // Damage above the leaves: what lies below is skipped, what is reachable is not.
    if (!inner.empty()) {
        QFile::remove(target);
        Store::Recovered some;
        const QString made = pathOf(QStringLiteral("some.mdb"));
        qmtest::rotPage(storePath(), inner.back(), 7);
        EXPECT_EQ(Store::recover(storePath(), made, some), QString());
        EXPECT_GT(some.damagedStretches(), 0);
        EXPECT_TRUE(QFile::exists(made));
    }

    // Stopped: no new file, and nothing made on the way left behind.
    const QStringList before = QDir(folder()).entryList(QDir::Files);
    Store::Recovered stopped;
    bool wasStopped = false;
    EXPECT_FALSE(
        Store::recover(storePath(), pathOf(QStringLiteral("never.mdb")), stopped, [](long long) { return false; }, &wasStopped)
            .isEmpty());
    EXPECT_TRUE(wasStopped);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), before);
}
