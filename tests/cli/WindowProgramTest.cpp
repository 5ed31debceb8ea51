// SPDX-License-Identifier: GPL-3.0-or-later
// `quillmark` is the command line on QtCore alone; without a command it
// hands over to the window program beside it (or in the install's libexec).
#include "ProgramTest.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

namespace {

using qmtest::Outcome;

class WindowProgram : public qmtest::ProgramTest {
protected:
    // A copy of the command-line program alone in a folder of its own.
    QString alone(const QString& where)
    {
        const QString copy = makeDir(where) + QStringLiteral("/quillmark");
        EXPECT_TRUE(QFile::copy(QStringLiteral(QUILLMARK_EXECUTABLE), copy));
        return copy;
    }
};

} // namespace

TEST_F(WindowProgram, TheCommandLineLoadsNoWindowingLibrary)
{
    const Outcome dynamic = qmtest::runProgram(
        QStringLiteral("readelf"), {QStringLiteral("-d"), QStringLiteral(QUILLMARK_EXECUTABLE)});
    if (dynamic.status != 0)
        GTEST_SKIP() << "readelf (Debian package binutils) did not run: " << dynamic.err.toStdString();
    EXPECT_TRUE(dynamic.out.contains(QStringLiteral("libQt6Core.so")));
    // Nor the readers of contents: add-folder and update run in the window
    // program, which has them (below).
    for (const char* library : {"libQt6Widgets", "libQt6PrintSupport", "libQt6Gui", "libEGL", "libX11", "libxcb",
             "libarchive", "libexiv2", "libtag", "libmediainfo"})
        EXPECT_FALSE(dynamic.out.contains(QString::fromLatin1(library))) << library;
    // And so a search runs where no display can be reached.
    makeFile(QStringLiteral("disk/invoice.txt"), 10);
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("disk"))}).status, 0);
    const Outcome found = quillmark({QStringLiteral("find"), QStringLiteral("invoice")});
    EXPECT_EQ(found.status, 0) << found.err.toStdString();
    EXPECT_TRUE(found.out.contains(QStringLiteral("invoice.txt"))) << found.out.toStdString();
}

TEST_F(WindowProgram, WithoutACommandTheWindowProgramGetsTheArgumentsAndFolderAsTyped)
{
    const QString program = alone(QStringLiteral("portable"));
    // A stand-in for the window: says where it runs and what it was given.
    const QString window = makeFile(QStringLiteral("portable/quillmark-window"),
        QByteArray("#!/bin/sh\npwd -P\nfor a in \"$@\"; do echo \"[$a]\"; done\nexit 7\n"));
    ASSERT_TRUE(QFile::setPermissions(window, QFile::permissions(window) | QFile::ExeOwner));
    const QString start = makeDir(QStringLiteral("start here"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), pathOf(QStringLiteral("data")));
    const Outcome started = qmtest::runProgram(program,
        {QStringLiteral("--in-data-folder"), QStringLiteral("--database=my store.mdb"), QStringLiteral("-style"),
            QStringLiteral("Fusion")},
        start, env);
    EXPECT_EQ(started.status, 7) << started.err.toStdString();
    // --in-data-folder moved the command line, not the window it starts.
    EXPECT_EQ(started.out,
        QFileInfo(start).canonicalFilePath() + QStringLiteral("\n[--in-data-folder]\n[--database=my store.mdb]\n[-style]\n[Fusion]\n"));

    // A command never reaches it.
    const Outcome version = qmtest::runProgram(program, {QStringLiteral("--version")}, start, env);
    EXPECT_EQ(version.out, QStringLiteral("quillmark " QUILLMARK_VERSION "\n"));
    // But one that catalogues does, as typed: the readers of contents are there.
    const Outcome update = qmtest::runProgram(program,
        {QStringLiteral("--database=my store.mdb"), QStringLiteral("update"), QStringLiteral("Disks"),
            QStringLiteral("/media/my disk")},
        start, env);
    EXPECT_EQ(update.status, 7) << update.err.toStdString();
    EXPECT_EQ(update.out,
        QFileInfo(start).canonicalFilePath()
            + QStringLiteral("\n[--database=my store.mdb]\n[update]\n[Disks]\n[/media/my disk]\n"));
}

TEST_F(WindowProgram, AMissingWindowProgramIsToldNotCrashedOn)
{
    const QString program = alone(QStringLiteral("bare/bin"));
    const Outcome started = qmtest::runProgram(program, {}, folder(), withoutDisplay());
    EXPECT_EQ(started.status, 1);
    EXPECT_TRUE(started.out.isEmpty()) << started.out.toStdString();
    // Looked for where an install keeps it, since none is beside it.
    EXPECT_TRUE(started.err.contains(pathOf(QStringLiteral("bare/libexec/quillmark/quillmark-window"))))
        << started.err.toStdString();
    EXPECT_TRUE(started.err.contains(QStringLiteral("cannot be started"))) << started.err.toStdString();
    // The commands that catalogue (it reads contents for them) are refused
    // the same way, with nothing written; the others work all the same.
    makeFile(QStringLiteral("disk/a.txt"), 10);
    const Outcome added = qmtest::runProgram(
        program, {QStringLiteral("add-folder"), pathOf(QStringLiteral("disk"))}, folder(), withoutDisplay());
    EXPECT_EQ(added.status, 1);
    EXPECT_TRUE(added.err.contains(QStringLiteral("cannot be started"))) << added.err.toStdString();
    EXPECT_EQ(count(), 0);
    const Outcome listed = qmtest::runProgram(program, {QStringLiteral("list")}, folder(), withoutDisplay());
    EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
}
