#include "support/TestSupport.h"

#include <QProcess>

namespace {

struct Outcome {
    int status;
    QString out;
    QString err;
};

// The built program, in the test's folder, with no display to reach.
Outcome quillmark(const QStringList& args, const QString& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral(QUILLMARK_EXECUTABLE), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
        QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

using CommandLine = qmtest::StoreTest;

} // namespace

TEST_F(CommandLine, EveryCommandRunsWithoutADisplay)
{
    for (const char* word : {"--help", "-h", "help"}) {
        const Outcome help = quillmark({QString::fromLatin1(word)}, folder());
        EXPECT_EQ(help.status, 0) << word << help.err.toStdString();
        for (const char* command : {"add-folder", "--create-store-if-missing", "--version", "--help"})
            EXPECT_TRUE(help.out.contains(QString::fromLatin1(command))) << command;
        EXPECT_TRUE(help.out.contains(QStringLiteral("catalogue FOLDER into database.mdb without a window")));
    }

    const Outcome version = quillmark({QStringLiteral("--version")}, folder());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("quillmark " QUILLMARK_VERSION "\n"));

    const Outcome unknown = quillmark({QStringLiteral("fnid"), QStringLiteral("x")}, folder());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown command \"fnid\"")))
        << unknown.err.toStdString();
    EXPECT_TRUE(unknown.out.isEmpty());

    makeFile(QStringLiteral("disk/a.txt"), 10);
    makeFile(QStringLiteral("disk/sub/b.txt"), 20);
    const Outcome add = quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("disk")),
                                      QStringLiteral("--name"), QStringLiteral("Disks")},
        folder());
    EXPECT_EQ(add.status, 0) << add.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 4);
}
