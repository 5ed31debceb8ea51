// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/NameFile.h"
#include "platform/AppPaths.h"
#include "support/TestSupport.h"

#include <QFile>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

using NameFileTest = qmtest::StoreTest;

TEST_F(NameFileTest, ReadsOnlyTheFirstLineWhateverItsEnd)
{
    EXPECT_EQ(NameFile::read().name, QString()); // missing file: the empty name
    const std::pair<const char*, const char*> cases[] = {{"", ""}, {"Disks 2026\r\nsecond\r\n", "Disks 2026"},
        {"lone CR\rrest", "lone CR"}, {"no line break at the end", "no line break at the end"},
        {"\r\nnext", ""}, {" trailing blank \r\n", " trailing blank "}};
    for (const auto& [content, name] : cases) {
        makeFile(QStringLiteral("dbase.name"), QByteArray(content));
        EXPECT_EQ(NameFile::read().name, QString::fromLatin1(name)) << content;
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

    // A name file that cannot be written makes the write fail.
    ASSERT_TRUE(NameFile::write(QStringLiteral("kept")));
    setNameFile(pathOf(QStringLiteral("missing/folder/dbase.name")));
    EXPECT_FALSE(NameFile::write(QStringLiteral("new")));
    setNameFile({});
    EXPECT_EQ(NameFile::read().name, QStringLiteral("kept"));
}

TEST_F(NameFileTest, AFileThatCannotBeReadIsToldNeverWaitedForAndAReplacementIsReadWhole)
{
    const QByteArray file = QFile::encodeName(NameFile::path());
    ASSERT_TRUE(QDir().mkdir(NameFile::path()));
    const NameFile::Reading folder = NameFile::read();
    ASSERT_TRUE(QDir().rmdir(NameFile::path()) && ::mkfifo(file.constData(), 0600) == 0);
    const NameFile::Reading fifo = NameFile::read(); // no writer: a plain open would wait
    ASSERT_TRUE(::unlink(file.constData()) == 0 && ::symlink("dbase.name", file.constData()) == 0);
    const NameFile::Reading loop = NameFile::read();
    ASSERT_EQ(::unlink(file.constData()), 0);
    for (const NameFile::Reading& r : {folder, fifo, loop})
        EXPECT_TRUE(r.name.isEmpty() && r.problem.contains(NameFile::path())) << r.problem.toStdString();

    // Replaced over and over while read: each read, longer than one read()
    // takes in, gives one whole name.
    const QString a(5000, u'a'), b(9000, u'b');
    ASSERT_TRUE(NameFile::write(a));
    std::atomic<bool> done {false};
    std::thread writer([&] {
        for (int i = 0; i < 400; ++i)
            NameFile::write(i % 2 ? a : b);
        done = true;
    });
    bool whole = true;
    while (!done && whole) {
        const NameFile::Reading r = NameFile::read();
        whole = r.problem.isEmpty() && (r.name == a || r.name == b);
    }
    writer.join();
    EXPECT_TRUE(whole);
}
