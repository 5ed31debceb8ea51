#include "platform/DiskIdentity.h"
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

TEST_F(CommandLine, UpdateBringsAScanUpToDateAndRefusesWhatDoesNotFit)
{
    makeFile(QStringLiteral("disk/a.txt"), 10);
    makeFile(QStringLiteral("disk/sub/b.txt"), 20);
    const QString top = pathOf(QStringLiteral("disk"));
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), top, QStringLiteral("--name"), QStringLiteral("Disks")}, folder()).status, 0);
    makeFile(QStringLiteral("disk/sub/c.txt"), 30);
    makeFile(QStringLiteral("disk/a.txt"), 11);

    const Outcome updated = quillmark({QStringLiteral("update"), QStringLiteral("Disks"), top}, folder());
    EXPECT_EQ(updated.status, 0) << updated.err.toStdString();
    EXPECT_TRUE(updated.out.startsWith(QStringLiteral("Updated %1 in \"Disks\": 1 added, 0 removed, ").arg(top)))
        << updated.out.toStdString();
    EXPECT_EQ(count(QStringLiteral("path LIKE '%c.txt'")), 1);
    // By key, with nothing changed since.
    const Outcome byKey = quillmark({QStringLiteral("update"), QStringLiteral("Disks"), QStringLiteral("1")}, folder());
    EXPECT_EQ(byKey.status, 0) << byKey.err.toStdString();
    EXPECT_TRUE(byKey.out.contains(QStringLiteral("0 added, 0 removed, 0 changed, 5 unchanged"))) << byKey.out.toStdString();

    // No such folder in the catalogue, a usage error, a folder that is gone.
    EXPECT_EQ(quillmark({QStringLiteral("update"), QStringLiteral("Other"), top}, folder()).status, 1);
    EXPECT_EQ(quillmark({QStringLiteral("update"), QStringLiteral("Disks")}, folder()).status, 2);
    EXPECT_EQ(quillmark({QStringLiteral("update"), QStringLiteral("Disks"), top, QStringLiteral("--quick")}, folder()).status, 2);

    // Another disk at the path: refused unless forced.
    if (!qm::diskOf(top).uuid.isEmpty()) {
        db().exec("UPDATE scans SET uuid = 'another-disk'");
        const Outcome refused = quillmark({QStringLiteral("update"), QStringLiteral("Disks"), top}, folder());
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("--force"))) << refused.err.toStdString();
        EXPECT_EQ(quillmark({QStringLiteral("update"), QStringLiteral("Disks"), top, QStringLiteral("--force")}, folder()).status, 0);
    }
    const long long before = count();
    ASSERT_TRUE(QDir(top).removeRecursively());
    const Outcome gone = quillmark({QStringLiteral("update"), QStringLiteral("Disks"), top}, folder());
    EXPECT_EQ(gone.status, 1);
    EXPECT_TRUE(gone.err.contains(QStringLiteral("cannot be read"))) << gone.err.toStdString();
    EXPECT_EQ(count(), before);
}
