// SPDX-License-Identifier: GPL-3.0-or-later
// The installation: a real `cmake --install` of this build into a temporary
// prefix, the validators of the desktop files, and the installed program.
#include "catalog/store/Store.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

using qmtest::Outcome;

struct Launch {
    QString workingFolder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    bool asNobody = false; // for root, whom folder permissions do not stop
};

Outcome run(const QString& program, const QStringList& args, const Launch& how = {})
{
    return qmtest::runProgram(program, args, how.workingFolder, how.environment, [nobody = how.asNobody] {
        if (nobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(126);
    });
}

class InstallTest : public qmtest::StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        // Other users reach the installed program and the test's folders.
        ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0755), 0);
        const Outcome install = run(QStringLiteral(CMAKE_COMMAND),
            {QStringLiteral("--install"), QStringLiteral(QUILLMARK_BUILD_DIR), QStringLiteral("--prefix"), prefix()});
        ASSERT_EQ(install.status, 0) << install.out.toStdString() << install.err.toStdString();
    }

    QString prefix() const { return pathOf(QStringLiteral("prefix")); }
    QString installed(const QString& relativePath) const { return prefix() + u'/' + relativePath; }
    QString program() const { return installed(QStringLiteral("bin/quillmark")); }
    QString appFile(const char* folderName, const char* suffix) const
    {
        return installed(QString::fromLatin1(folderName) + QStringLiteral("/" QUILLMARK_APP_ID)
            + QString::fromLatin1(suffix));
    }
};

QString field(const QByteArray& desktopEntry, const QString& key)
{
    for (const QByteArray& line : desktopEntry.split('\n'))
        if (line.startsWith(key.toUtf8() + '='))
            return QString::fromUtf8(line.mid(key.size() + 1));
    return {};
}

} // namespace

TEST_F(InstallTest, HoldsEveryFileAndPassesTheValidators)
{
    EXPECT_TRUE(QFileInfo(program()).isExecutable());
    // The window, which `quillmark` without a command starts, out of the PATH.
    EXPECT_TRUE(QFileInfo(installed(QStringLiteral("libexec/quillmark/quillmark-window"))).isExecutable());
    const Outcome version = run(program(), {QStringLiteral("--version")});
    EXPECT_EQ(version.out, QStringLiteral("quillmark " QUILLMARK_VERSION "\n")) << version.err.toStdString();

    const QString desktop = appFile("share/applications", ".desktop");
    const QByteArray entry = readFile(desktop);
    EXPECT_EQ(field(entry, QStringLiteral("Name")), QStringLiteral("Quillmark"));
    EXPECT_EQ(field(entry, QStringLiteral("GenericName")), QStringLiteral("Disk Cataloguer"));
    EXPECT_EQ(field(entry, QStringLiteral("Icon")), QStringLiteral(QUILLMARK_APP_ID));
    EXPECT_FALSE(field(entry, QStringLiteral("Categories")).isEmpty());
    const QString exec = field(entry, QStringLiteral("Exec"));
    EXPECT_TRUE(exec.startsWith(QStringLiteral("quillmark ")) && !exec.contains(u'%')) << exec.toStdString();

    EXPECT_TRUE(QFile::exists(appFile("share/icons/hicolor/scalable/apps", ".svg")));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon(appFile(qPrintable(QStringLiteral("share/icons/hicolor/%1x%1/apps").arg(size)), ".png"));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_TRUE(icon.hasAlphaChannel());
    }

    const Outcome desktopCheck = run(QStringLiteral("desktop-file-validate"), {desktop});
    EXPECT_TRUE(desktopCheck.status == 0 && desktopCheck.out.isEmpty())
        << "desktop-file-validate (Debian package desktop-file-utils): " << desktopCheck.out.toStdString()
        << desktopCheck.err.toStdString();
    const QString metainfo = appFile("share/metainfo", ".metainfo.xml");
    const Outcome appstream = run(QStringLiteral("appstreamcli"), {"validate", "--no-net", metainfo});
    EXPECT_EQ(appstream.status, 0) << "appstreamcli (Debian package appstream): " << appstream.out.toStdString()
                                   << appstream.err.toStdString();
    const QByteArray description = readFile(metainfo);
    EXPECT_TRUE(description.contains("<description>") && description.contains("<screenshot type=\"default\">"));

    // The manual page: every command has its section, and groff finds nothing
    // to warn about.
    const QString manual = installed(QStringLiteral("share/man/man1/quillmark.1.gz"));
    const Outcome page = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), manual});
    ASSERT_EQ(page.status, 0) << page.err.toStdString();
    for (const char* section : {".SS \"add\\-folder", ".SS \"check", ".SS \"export", ".BI \\-\\-database", ".BI \\-\\-name\\-file",
             ".B \\-\\-in\\-data\\-folder", ".SH FILES"})
        EXPECT_TRUE(page.out.contains(QString::fromLatin1(section))) << section;
    QProcess groff;
    groff.start(QStringLiteral("groff"), {"-man", "-ww", "-z", "-K", "utf8"});
    groff.write(page.out.toUtf8());
    groff.closeWriteChannel();
    ASSERT_TRUE(groff.waitForFinished(60000)) << "groff (Debian package groff-base)";
    EXPECT_EQ(groff.exitCode(), 0);
    EXPECT_EQ(groff.readAllStandardError().toStdString(), "");
}

TEST_F(InstallTest, TheInstalledProgramNeverWritesIntoItsFolderAndWorksOnTheMenusCatalogue)
{
    const QString bin = installed(QStringLiteral("bin"));
    makeFile(QStringLiteral("disk/a.txt"), 10);
    makeFile(QStringLiteral("disk/sub/b.txt"), 20);
    makeFile(QStringLiteral("config/quillmark/dbase.name"), QByteArray("Configured\r\n"));
    makeFile(QStringLiteral("named.txt"), QByteArray("Named\r\n"));
    resetConnection();

    // Run by whoever runs the tests (root in CI, who may write into bin/),
    // from a terminal in a folder without database.mdb.
    ASSERT_EQ(::chmod(QFile::encodeName(bin).constData(), 0755), 0);
    Launch how;
    how.workingFolder = makeDir(QStringLiteral("terminal"));
    how.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), pathOf(QStringLiteral("config")));
    how.environment.insert(QStringLiteral("XDG_DATA_HOME"), pathOf(QStringLiteral("data")));
    how.environment.insert(QStringLiteral("XDG_CACHE_HOME"), pathOf(QStringLiteral("cache")));
    how.environment.insert(QStringLiteral("HOME"), makeDir(QStringLiteral("home")));
    const QString menuStore = pathOf(QStringLiteral("data/quillmark/database.mdb"));
    const QStringList addDisk {QStringLiteral("add-folder"), pathOf(QStringLiteral("disk"))};

    const Outcome before = run(program(), {QStringLiteral("list")}, how);
    EXPECT_EQ(before.status, 1);
    EXPECT_TRUE(before.err.contains(menuStore)) << before.err.toStdString();
    const Outcome first = run(program(), addDisk, how);
    EXPECT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_TRUE(first.err.contains(QStringLiteral("made the catalogue database ") + menuStore))
        << first.err.toStdString();
    const Outcome again = run(program(), addDisk, how);
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_FALSE(again.err.contains(QStringLiteral("made the catalogue"))) << again.err.toStdString();
    {
        SQLite::Database menu(menuStore.toStdString());
        EXPECT_EQ(menu.execAndGet("SELECT count(*) FROM main WHERE dbaseName = 'Configured'").getInt(), 8);
    }
    // The menu entry, started in the data folder, lists the same catalogue.
    how.workingFolder = pathOf(QStringLiteral("data/quillmark"));
    const Outcome listed = run(program(), {QStringLiteral("list")}, how);
    EXPECT_TRUE(listed.out.startsWith(QStringLiteral("Catalogue \"Configured\": 2 scan(s), 8 records")))
        << listed.out.toStdString() << listed.err.toStdString();
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList {QStringLiteral("quillmark")});
    EXPECT_FALSE(QFile::exists(pathOf(QStringLiteral("terminal/database.mdb"))));

    // A database.mdb in the current folder still wins.
    how.workingFolder = folder();
    const Outcome here = run(program(), addDisk, how);
    EXPECT_EQ(here.status, 0) << here.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Configured'")), 4);

    // --database and --name-file name both files, before the command or after it.
    ASSERT_TRUE(qm::Store::create(pathOf(QStringLiteral("other.mdb"))).isEmpty());
    const Outcome named = run(program(),
        {QStringLiteral("--database"), QStringLiteral("other.mdb"), QStringLiteral("add-folder"),
            pathOf(QStringLiteral("disk")), QStringLiteral("--name-file=named.txt")},
        how);
    EXPECT_EQ(named.status, 0) << named.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Named'")), 0);
    SQLite::Database other(pathOf(QStringLiteral("other.mdb")).toStdString());
    EXPECT_EQ(other.execAndGet("SELECT count(*) FROM main WHERE dbaseName = 'Named'").getInt(), 4);
    EXPECT_EQ(other.execAndGet("SELECT count(*) FROM main").getInt(), 4);

    // The same programs unpacked into a folder of their own are portable:
    // the name file beside them, the catalogue in the current folder.
    const QString unpacked = makeDir(QStringLiteral("unpacked"));
    ASSERT_TRUE(QFile::copy(program(), unpacked + QStringLiteral("/quillmark")));
    ASSERT_TRUE(QFile::copy(
        installed(QStringLiteral("libexec/quillmark/quillmark-window")), unpacked + QStringLiteral("/quillmark-window")));
    makeFile(QStringLiteral("unpacked/dbase.name"), QByteArray("Portable\r\n"));
    const Outcome portable = run(unpacked + QStringLiteral("/quillmark"), addDisk, how);
    EXPECT_EQ(portable.status, 0) << portable.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Portable'")), 4);
}

TEST_F(InstallTest, WithoutAHomeFolderNothingIsMadeAtTheRoot)
{
    const passwd* nobody = ::getpwuid(kNobody);
    if (::geteuid() != 0 || !nobody || QFileInfo(QFile::decodeName(nobody->pw_dir)).isDir())
        GTEST_SKIP() << "needs root, and a user nobody whose home folder does not exist";
    const QStringList atRoot {QStringLiteral("/.cache/quillmark"), QStringLiteral("/.config/quillmark"),
        QStringLiteral("/.local/share/quillmark")};
    for (const QString& f : atRoot)
        if (QFileInfo::exists(f))
            GTEST_SKIP() << f.toStdString() << " is there already";
    makeFile(QStringLiteral("disk/a.txt"), 10);
    resetConnection();
    for (const QString& f : {folder(), storePath()})
        ASSERT_EQ(::chown(QFile::encodeName(f).constData(), kNobody, kNobody), 0);

    Launch how;
    how.workingFolder = folder();
    how.asNobody = true;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        how.environment.remove(QString::fromLatin1(name));
    const QStringList addDisk {QStringLiteral("add-folder"), pathOf(QStringLiteral("disk"))};
    const Outcome unnamed = run(program(), addDisk, how);
    EXPECT_EQ(unnamed.status, 1);
    EXPECT_TRUE(unnamed.err.contains(QStringLiteral("no home folder"))) << unnamed.err.toStdString();
    const Outcome named = run(program(), addDisk + QStringList {QStringLiteral("--name=Disks")}, how);
    EXPECT_EQ(named.status, 0) << named.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 2);
    for (const QString& f : atRoot)
        EXPECT_FALSE(QFileInfo::exists(f)) << f.toStdString();
}

TEST_F(InstallTest, TheMenuEntryStartsTheProgramInTheUsersDataFolder)
{
    // The launcher's own command, with a command that makes database.mdb in
    // the folder the program is in.
    QStringList command = field(readFile(appFile("share/applications", ".desktop")), QStringLiteral("Exec"))
                              .split(u' ', Qt::SkipEmptyParts);
    ASSERT_FALSE(command.isEmpty());
    command.removeFirst();
    command << QStringLiteral("--create-store-if-missing") << QStringLiteral("database.mdb");
    Launch how;
    how.workingFolder = makeDir(QStringLiteral("home"));
    how.environment.insert(QStringLiteral("XDG_DATA_HOME"), pathOf(QStringLiteral("data")));
    const Outcome started = run(program(), command, how);
    EXPECT_EQ(started.status, 0) << started.err.toStdString();
    EXPECT_EQ(qm::Store::problemWith(pathOf(QStringLiteral("data/quillmark/database.mdb"))), QString());
    EXPECT_FALSE(QFile::exists(pathOf(QStringLiteral("home/database.mdb"))));
}
