#include "catalog/Store.h"
#include "main_window/StartUp.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace qm;

using StartUpTest = qmtest::StoreTest;

TEST_F(StartUpTest, StartUpChecksTheStore)
{
    EXPECT_TRUE(checkStoreAtStart(storePath()));
    EXPECT_TRUE(qmtest::messages().isEmpty());

    // Missing: offered, and made on yes with every table.
    const QString fresh = QDir(folder()).filePath(QStringLiteral("new/database.mdb"));
    QDir().mkpath(QFileInfo(fresh).path());
    qmtest::answerQuestions(false);
    EXPECT_FALSE(checkStoreAtStart(fresh));
    EXPECT_FALSE(QFile::exists(fresh));
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(fresh));
    qmtest::answerQuestions(true);
    EXPECT_TRUE(checkStoreAtStart(fresh));
    EXPECT_EQ(Store::problemWith(fresh), QString());

    // Not a catalogue (an old Jet file, or a store without the tables): named, untouched.
    const QString jet = QDir(folder()).filePath(QStringLiteral("jet.mdb"));
    QFile f(jet);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\0\x01\0\0Standard Jet DB", 19);
    f.close();
    qmtest::messages().clear();
    EXPECT_FALSE(checkStoreAtStart(jet));
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(jet));
    EXPECT_EQ(QFileInfo(jet).size(), 19);

    db().exec("DROP TABLE temp");
    qmtest::messages().clear();
    EXPECT_FALSE(checkStoreAtStart(storePath()));
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(QStringLiteral("temp")));
}
