// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/Store.h"
#include "main_window/BackgroundCheck.h"
#include "platform/Recordset.h"
#include "support/Damage.h"
#include "support/FormFixture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <SQLiteCpp/Transaction.h>

using namespace qm;

namespace {

class DailyCheck : public FormTest {
protected:
    // Starts the window and lets its start-up work run; true when a check
    // ran (and ended) after start-up.
    bool startWindow()
    {
        load(QStringLiteral("Disks"));
        auto* check = form->findChild<BackgroundCheck*>(QStringLiteral("BackgroundCheck"));
        EXPECT_NE(check, nullptr);
        if (!check)
            return false;
        bool ended = false;
        check->onEnded = [&ended] { ended = true; };
        QCoreApplication::processEvents(); // start-up's queued work
        if (!check->running())
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!ended && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return ended;
    }
    long long lastFullCheck() { return Store::markOf(storePath()).lastFullCheck; }
    // How many of the messages shown since the last time contain `part`
    // (the tree's own reading of a damaged store may say more); clears them.
    static int said(const QString& part)
    {
        const int n = static_cast<int>(qmtest::messages().filter(part).size());
        qmtest::messages().clear();
        return n;
    }
    void fill(int records, int first = 1)
    {
        SQLite::Transaction t(db());
        for (int i = first; i < first + records; ++i)
            addRecord(QStringLiteral("%1>").arg(i), i == 1 ? QStringLiteral("0>") : QStringLiteral("1>"),
                QStringLiteral("Disks"), QStringLiteral("file number %1 with a longer name.txt").arg(i),
                QStringLiteral("/disk/file number %1 with a longer name.txt").arg(i), QStringLiteral("10"),
                QStringLiteral("2024-01-01 00:00:00"), QStringLiteral("1>"));
        t.commit();
    }
};

} // namespace

TEST_F(DailyCheck, TheWindowChecksTheStoreBesideItsWorkOnceADay)
{
    fill(50);
    const long long now = QDateTime::currentSecsSinceEpoch();
    // Never checked in full: the window does it after start-up, and says nothing of a sound store.
    ASSERT_TRUE(startWindow());
    EXPECT_GE(lastFullCheck(), now);
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    form.reset();

    // Checked within the day: not again.
    Store::markFullCheck(storePath(), now - 3600);
    EXPECT_FALSE(startWindow());
    EXPECT_EQ(lastFullCheck(), now - 3600);
    form.reset();

    // A day old: again, also when the records changed since.
    fill(5, 51);
    Store::markFullCheck(storePath(), now - 25 * 3600);
    EXPECT_TRUE(Store::fullCheckDue(Store::markOf(storePath()), now));
    ASSERT_TRUE(startWindow());
    EXPECT_GE(lastFullCheck(), now);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
}

TEST_F(DailyCheck, BitRotFoundBesideTheWindowIsSaidAndItsWritesAreRefused)
{
    fill(2000);
    const auto leaves = qmtest::pagesOf(db(), "main");
    if (leaves.size() < 4)
        GTEST_SKIP() << "SQLite here has no dbstat table to find main's pages with";
    const long long page = leaves[leaves.size() / 2];
    resetConnection();
    Store::markFullCheck(storePath(), QDateTime::currentSecsSinceEpoch() - 2 * 24 * 3600);
    qmtest::rotPage(storePath(), page);
    ASSERT_TRUE(Store::isMarkedChecked(storePath())); // as bit rot leaves it: nothing tells

    ASSERT_TRUE(startWindow());
    EXPECT_EQ(said(storePath() + QStringLiteral(" is damaged")), 1);
    const QByteArray damaged = readFile(storePath());

    // The window's own writes go through the kept mark, which refuses them.
    auto own = openConnection(storePath());
    try {
        Store::writeKeepingMark(*own, [&] { own->exec("DELETE FROM main"); });
        ADD_FAILURE() << "a damaged store was written to";
    } catch (const SQLite::Exception& e) {
        EXPECT_TRUE(Store::isDamageError(e.getErrorCode()));
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("check --recover")));
    }
    EXPECT_EQ(readFile(storePath()), damaged);
    form.reset();

    // The next start says so at once, without reading the file again.
    load(QStringLiteral("Disks"));
    QCoreApplication::processEvents();
    EXPECT_EQ(said(QStringLiteral("quillmark check --recover NEW.mdb")), 1);
    EXPECT_FALSE(form->findChild<BackgroundCheck*>(QStringLiteral("BackgroundCheck"))->running());
}
