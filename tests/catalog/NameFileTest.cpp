#include "catalog/AppPaths.h"
#include "catalog/NameFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qm;

namespace {
class NameFileTest : public ::testing::Test {
protected:
    void SetUp() override { setProgramFolder(dir.path()); }
    void TearDown() override { setProgramFolder({}); }
    void put(const QByteArray& bytes)
    {
        QFile f(NameFile::path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray content()
    {
        QFile f(NameFile::path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir dir;
};
} // namespace

TEST_F(NameFileTest, ReadsOnlyTheFirstLine)
{
    EXPECT_EQ(NameFile::read(), QString()); // missing file: the empty name

    put("");
    EXPECT_EQ(NameFile::read(), QString());

    put("Disks 2026\r\nsecond\r\n");
    EXPECT_EQ(NameFile::read(), QStringLiteral("Disks 2026"));

    put("lone CR\rrest");
    EXPECT_EQ(NameFile::read(), QStringLiteral("lone CR"));

    put("no line break at the end");
    EXPECT_EQ(NameFile::read(), QStringLiteral("no line break at the end"));

    put("\r\nnext");
    EXPECT_EQ(NameFile::read(), QString()); // an empty first line is the empty name

    put(" trailing blank \r\n");
    EXPECT_EQ(NameFile::read(), QStringLiteral(" trailing blank "));
}

TEST_F(NameFileTest, WriteLeavesExactlyOneLineInTheProgramFolder)
{
    put("old\r\nsecond line\r\nthird\r\n");
    const QString elsewhere = QDir::currentPath();
    ASSERT_TRUE(NameFile::write(QStringLiteral("O'Brien's 100% disks")));
    EXPECT_EQ(content(), QByteArray("O'Brien's 100% disks\r\n"));
    EXPECT_EQ(NameFile::read(), QStringLiteral("O'Brien's 100% disks"));
    EXPECT_EQ(QFileInfo(NameFile::path()).absolutePath(), QDir(dir.path()).absolutePath());
    EXPECT_EQ(QDir::currentPath(), elsewhere);

    ASSERT_TRUE(NameFile::write(QString()));
    EXPECT_EQ(content(), QByteArray("\r\n"));
    // Nothing but the name file is left behind by the replacement.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("dbase.name")});
}

TEST_F(NameFileTest, FailedWriteKeepsTheOldName)
{
    put("kept\r\n");
    // A program folder that cannot be written to makes the write fail.
    setProgramFolder(QDir(dir.path()).filePath(QStringLiteral("missing/folder")));
    EXPECT_FALSE(NameFile::write(QStringLiteral("new")));
    setProgramFolder(dir.path());
    EXPECT_EQ(NameFile::read(), QStringLiteral("kept"));

    // The name file itself cannot be replaced by a folder-shaped obstacle.
    QFile::remove(NameFile::path());
    QDir(dir.path()).mkdir(QStringLiteral("dbase.name"));
    EXPECT_FALSE(NameFile::write(QStringLiteral("new")));
}
