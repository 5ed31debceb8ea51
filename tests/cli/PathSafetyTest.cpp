// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own files named as things that are not files, through the
// real program: it ends at once, never waiting on a FIFO.
#include "main_window/StartUp.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>

#include <sys/stat.h>

namespace {

using qmtest::Outcome;

class PathSafety : public qmtest::StoreTest {
protected:
    // The built program in `where`; one that is still running after half a
    // minute waits for something and is ended (status -1).
    Outcome quillmark(const QStringList& args, const QString& where = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(where.isEmpty() ? folder() : where);
        p.start(QStringLiteral(QUILLMARK_EXECUTABLE), args);
        Outcome o;
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            o.err = QStringLiteral("still running: it waited");
            return o;
        }
        o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.out = QString::fromUtf8(p.readAllStandardOutput());
        o.err = QString::fromUtf8(p.readAllStandardError());
        return o;
    }
};

} // namespace

TEST_F(PathSafety, AFifoADeviceOrAFolderAsTheStoreOrTheNameFileEndsAtOnceNamingIt)
{
    const QString fifo = pathOf(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString dir = makeDir(QStringLiteral("a folder"));
    makeFile(QStringLiteral("disk/a.txt"), 1);
    const QStringList list {QStringLiteral("list")};
    const QStringList add {
        QStringLiteral("add-folder"), pathOf(QStringLiteral("disk")), QStringLiteral("--name=D")};
    for (const QString& target : {fifo, QStringLiteral("/dev/null"), dir}) {
        for (const QString& option : {QStringLiteral("--database"), QStringLiteral("--name-file")}) {
            for (const QStringList& command : {list, add}) {
                const Outcome o = quillmark(QStringList {option, target} + command);
                EXPECT_EQ(o.status, 1)
                    << option.toStdString() << ' ' << target.toStdString() << o.err.toStdString();
                EXPECT_TRUE(o.err.contains(target) && o.err.contains(QStringLiteral("not a file")))
                    << o.err.toStdString();
            }
        }
    }
    EXPECT_EQ(count(), 0);

    // database.mdb itself a FIFO in the current folder: every command, and
    // the window at start, tell it instead of waiting.
    const QString here = makeDir(QStringLiteral("here"));
    const QString store = here + QStringLiteral("/database.mdb");
    ASSERT_EQ(::mkfifo(QFile::encodeName(store).constData(), 0600), 0);
    for (const QStringList& command : {list, add}) {
        const Outcome o = quillmark(command, here);
        EXPECT_EQ(o.status, 1) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(store)) << o.err.toStdString();
    }
    EXPECT_FALSE(qm::checkStoreAtStart(store));
    EXPECT_TRUE(qmtest::toldOnce(store));
    QFileInfo after(store);
    EXPECT_FALSE(after.isFile()); // left as it was
}
