#include "catalog/NameFile.h"
#include "catalog/AppPaths.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace qm;

using NameFileTest = qmtest::StoreTest;

TEST_F(NameFileTest, ReadsOnlyTheFirstLineWhateverItsEnd)
{
    EXPECT_EQ(NameFile::read(), QString()); // missing file: the empty name
    const std::pair<const char*, const char*> cases[] = {{"", ""}, {"Disks 2026\r\nsecond\r\n", "Disks 2026"},
        {"lone CR\rrest", "lone CR"}, {"no line break at the end", "no line break at the end"},
        {"\r\nnext", ""}, {" trailing blank \r\n", " trailing blank "}};
    for (const auto& [content, name] : cases) {
        makeFile(QStringLiteral("dbase.name"), QByteArray(content));
        EXPECT_EQ(NameFile::read(), QString::fromLatin1(name)) << content;
    }
}

TEST_F(NameFileTest, WriteLeavesOneCrLfLineAndAFailedWriteKeepsTheOldName)
{
    makeFile(QStringLiteral("dbase.name"), QByteArray("old\r\nsecond line\r\nthird\r\n"));
    ASSERT_TRUE(NameFile::write(QStringLiteral("O'Brien's 100% disks")));
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("O'Brien's 100% disks\r\n"));
    ASSERT_TRUE(NameFile::write(QString()));
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("\r\n"));
    // Nothing but the name file is left behind by the replacement.
    EXPECT_EQ(
        QDir(folder()).entryList(QDir::Files | QDir::Hidden), (QStringList {"database.mdb", "dbase.name"}));

    // The file lives in the program folder, not the current one.
    setProgramFolder(makeDir(QStringLiteral("program")));
    ASSERT_TRUE(NameFile::write(QStringLiteral("elsewhere")));
    EXPECT_TRUE(QFile::exists(pathOf(QStringLiteral("program/dbase.name"))));
    setProgramFolder(folder());

    // A program folder that cannot be written to makes the write fail.
    ASSERT_TRUE(NameFile::write(QStringLiteral("kept")));
    setProgramFolder(pathOf(QStringLiteral("missing/folder")));
    EXPECT_FALSE(NameFile::write(QStringLiteral("new")));
    setProgramFolder(folder());
    EXPECT_EQ(NameFile::read(), QStringLiteral("kept"));
}
