// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Recordset.h"
#include "catalog/store/Queries.h"
#include "platform/DataControl.h"
#include "platform/StoreMark.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>

using namespace qm;

namespace {
class RecordsetTest : public qmtest::StoreTest {
protected:
    void addProjects(const QStringList& names)
    {
        for (const QString& n : names)
            db().exec("INSERT INTO Projects (FileName) VALUES ('" + n.toStdString() + "')");
    }
    QStringList projectNames()
    {
        return texts(QStringLiteral("SELECT FileName FROM Projects ORDER BY rowid"));
    }
};
} // namespace

TEST_F(RecordsetTest, MovesEndsAndExactCountOverAStaticResult)
{
    addProjects({"a", "b", "c"});
    Recordset rs(openConnection(storePath()), Queries::table(QStringLiteral("Projects")));
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_FALSE(rs.BOF());
    EXPECT_EQ(rs.text(1), QStringLiteral("a")); // by position: SrNo, FileName, ...
    rs.MoveNext();
    rs.MoveNext();
    EXPECT_EQ(rs.text(QStringLiteral("filename")), QStringLiteral("c")); // names are not case-sensitive
    rs.MoveNext();
    EXPECT_TRUE(rs.isEOF());
    EXPECT_THROW(rs.field(1), DbError);
    EXPECT_THROW(rs.MoveNext(), DbError);
    rs.MovePrevious();
    EXPECT_EQ(rs.text(1), QStringLiteral("c"));
    rs.MoveFirst();
    rs.MovePrevious();
    EXPECT_TRUE(rs.BOF());
    EXPECT_THROW(rs.MovePrevious(), DbError);
    rs.MoveLast();
    EXPECT_EQ(rs.text(1), QStringLiteral("c"));

    // Rows added elsewhere appear only after a requery.
    addProjects({"d"});
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.Requery();
    EXPECT_EQ(rs.RecordCount(), 4);

    Recordset empty(openConnection(storePath()), Queries::table(QStringLiteral("Documents")));
    EXPECT_TRUE(empty.BOF() && empty.isEOF());
    EXPECT_THROW(empty.MoveFirst(), DbError);

    EXPECT_THROW(Recordset(openConnection(storePath()), Queries::table(QStringLiteral("nope"))), DbError);
}

TEST_F(RecordsetTest, AddUpdateAndDeleteThroughBoundBoxes)
{
    addProjects({"first", "second"});
    DataControl dc;
    QLineEdit name;
    QLabel serial;
    dc.bind(&name, QStringLiteral("FileName"));
    dc.bind(&serial, QStringLiteral("SrNo"));
    dc.setCommandType(CommandType::Table);
    dc.setRecordSource(Queries::table(QStringLiteral("Projects")));
    dc.Refresh();
    Recordset& rs = dc.recordset();
    EXPECT_EQ(name.text(), QStringLiteral("first"));
    // A store found sound stays marked so over these writes of its own.
    Store::markChecked(storePath());

    // A value set into a box reaches its field when the cursor moves off,
    // on the next AddNew, and on Update.
    name.setText(QStringLiteral("first, edited"));
    rs.MoveNext();
    EXPECT_EQ(name.text(), QStringLiteral("second"));
    name.setText(QStringLiteral("second, edited"));
    rs.AddNew();
    EXPECT_EQ(name.text(), QString());
    name.setText(QStringLiteral("O'Neil \"quoted\""));
    rs.AddNew();
    name.setText(QStringLiteral("fourth"));
    rs.Update();
    const QStringList four {"first, edited", "second, edited", "O'Neil \"quoted\"", "fourth"};
    EXPECT_EQ(projectNames(), four);
    EXPECT_EQ(rs.RecordCount(), 4);
    EXPECT_EQ(serial.text(), QStringLiteral("4")); // the store's serial shows once stored

    // A walk without repainting never writes the stale boxes into other records.
    {
        RepaintSuspender quiet(dc);
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) { }
        rs.MoveFirst();
    }
    EXPECT_EQ(name.text(), QStringLiteral("first, edited"));
    EXPECT_EQ(projectNames(), four);

    // Delete leaves the cursor on the gap: blanked boxes are not stored, and
    // the neighbours are reached from there.
    rs.MoveNext();
    rs.Delete();
    name.setText(QString());
    EXPECT_THROW(rs.field(1), DbError);
    rs.MoveNext();
    EXPECT_EQ(name.text(), QStringLiteral("O'Neil \"quoted\""));
    rs.MoveFirst();
    rs.Delete();
    rs.MovePrevious();
    EXPECT_TRUE(rs.BOF());
    rs.MoveNext();
    EXPECT_EQ(name.text(), QStringLiteral("O'Neil \"quoted\""));
    EXPECT_EQ(projectNames(), (QStringList {"O'Neil \"quoted\"", "fourth"}));
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));

    // The whole table as CSV, quoted where needed.
    const QString csv = pathOf(QStringLiteral("Projects.csv"));
    rs.SaveCsv(csv);
    EXPECT_EQ(readFile(csv),
        QByteArray("SrNo,FileName,Completed,Deadline,Group,ID\r\n"
                   "3,\"O'Neil \"\"quoted\"\"\",,,,\r\n"
                   "4,fourth,,,,\r\n"));
}

TEST_F(RecordsetTest, AWholeTableReadsItsRowIdsOnTheFirstMoveAsTheyWereAtOpening)
{
    addProjects({"a", "b", "c", "d"});
    Recordset rs(openConnection(storePath()), Queries::table(QStringLiteral("Projects")));
    EXPECT_EQ(rs.text(1), QStringLiteral("a"));
    // Another writer adds a record and deletes the first and the third
    // before the cursor moves: the result holds the row the cursor stands on
    // and the rows still there of those the table held at opening.
    addProjects({"later"});
    db().exec("DELETE FROM Projects WHERE FileName IN ('a', 'c')");
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.MoveNext();
    EXPECT_EQ(rs.text(1), QStringLiteral("b"));
    rs.MoveLast();
    EXPECT_EQ(rs.text(1), QStringLiteral("d"));
    rs.MovePrevious();
    rs.MovePrevious();
    EXPECT_THROW(rs.field(1), DbError); // the first, deleted
    // Moving back before the first row of a fresh cursor reads nothing more.
    Recordset fresh(openConnection(storePath()), Queries::table(QStringLiteral("Projects")));
    EXPECT_EQ(fresh.text(1), QStringLiteral("b"));
    fresh.MovePrevious();
    EXPECT_TRUE(fresh.BOF());
    fresh.MoveNext();
    EXPECT_EQ(fresh.text(1), QStringLiteral("b"));
    EXPECT_EQ(fresh.RecordCount(), 3);
}
