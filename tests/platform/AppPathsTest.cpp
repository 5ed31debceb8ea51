// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's own files go: installed or portable, the user's XDG
// folders, and no home at all.
#include "platform/AppPaths.h"
#include "catalog/NameFile.h"
#include "platform/StoreMark.h"
#include "platform/UserFolders.h"
#include "support/TestSupport.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>

using namespace qm;

namespace {

// The variables of the user's folders, put back as they were.
class AppPathsTest : public qmtest::StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        for (const char* name : kVariables)
            saved_.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv("HOME", QFile::encodeName(makeDir(QStringLiteral("home"))));
    }
    void TearDown() override
    {
        for (size_t i = 0; i < std::size(kVariables); ++i)
            saved_[i] ? qputenv(kVariables[i], *saved_[i]) : qunsetenv(kVariables[i]);
        StoreTest::TearDown();
    }
    // Starts the program folder as an install prefix's bin/ would be.
    QString installAt(const QString& prefix)
    {
        makeDir(prefix + QStringLiteral("/share/applications"));
        const QString bin = makeDir(prefix + QStringLiteral("/bin"));
        setProgramFolder(bin);
        return bin;
    }

    static constexpr const char* kVariables[]
        = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"};
    std::vector<std::optional<QByteArray>> saved_;
};

// The account's home as the password database has it, when usable.
QString accountHome()
{
    const passwd* account = ::getpwuid(::getuid());
    const QString home = account && account->pw_dir ? QFile::decodeName(account->pw_dir) : QString();
    return home != QLatin1String("/") && QFileInfo(home).isDir() ? home : QString();
}

} // namespace

TEST_F(AppPathsTest, AnInstalledCopyIsToldByWhereItIsNotByWhatItMayWrite)
{
    // The build folder and an unpacked copy, whose folder can be written to.
    EXPECT_FALSE(isInstalledCopy());
    EXPECT_EQ(nameFilePath(), pathOf(QStringLiteral("dbase.name")));
    const QString unpacked = makeDir(QStringLiteral("unpacked/bin")); // a bin/ without share/ beside it
    setProgramFolder(unpacked);
    EXPECT_FALSE(isInstalledCopy());
    EXPECT_EQ(nameFilePath(), unpacked + QStringLiteral("/dbase.name"));

    // A prefix's bin/: the name file is the user's, however writable bin/ is
    // (as it is for root, and for ~/.local/bin).
    const QString bin = installAt(QStringLiteral("prefix"));
    ASSERT_TRUE(canCreateFilesIn(bin));
    EXPECT_TRUE(isInstalledCopy());
    EXPECT_EQ(nameFilePath(), pathOf(QStringLiteral("config/quillmark/dbase.name")));
    ASSERT_TRUE(NameFile::write(QStringLiteral("Disks")));
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    // A database.mdb in the current folder wins; where there is none, the
    // data folder's catalogue is used, as by the menu entry.
    EXPECT_EQ(databasePath(), storePath());
    EXPECT_FALSE(databaseIsTheDataFolders());
    QDir::setCurrent(makeDir(QStringLiteral("elsewhere")));
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("data/quillmark/database.mdb")));
    EXPECT_TRUE(databaseIsTheDataFolders());
    // Any entry of that name is the current folder's, to be told about if unusable.
    ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("nowhere")), QStringLiteral("database.mdb")));
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("elsewhere/database.mdb")));
    QDir::setCurrent(folder());

    // A portable copy never reaches for the data folder.
    setProgramFolder(unpacked);
    QDir::setCurrent(makeDir(QStringLiteral("empty")));
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("empty/database.mdb")));
    EXPECT_FALSE(databaseIsTheDataFolders());
}

TEST_F(AppPathsTest, TheWindowProgramInAPrefixsLibexecIsTheInstalledCopysToo)
{
    // The window program, started by an installed `quillmark`, keeps the
    // user's files where the command line keeps them.
    installAt(QStringLiteral("prefix"));
    setProgramFolder(makeDir(QStringLiteral("prefix/libexec/quillmark")));
    EXPECT_TRUE(isInstalledCopy());
    EXPECT_EQ(nameFilePath(), pathOf(QStringLiteral("config/quillmark/dbase.name")));
    // Folders of that name anywhere else are a portable copy's.
    for (const char* portable : {"unpacked/libexec/quillmark", "prefix/lib/quillmark", "prefix/libexec/other"}) {
        setProgramFolder(makeDir(QString::fromLatin1(portable)));
        EXPECT_FALSE(isInstalledCopy()) << portable;
    }
}

TEST_F(AppPathsTest, RelativeXdgFoldersAreIgnoredAndNoFolderIsEverMadeAtTheRoot)
{
    const QString home = pathOf(QStringLiteral("home"));
    qputenv("XDG_CONFIG_HOME", "config");
    qputenv("XDG_DATA_HOME", "./data");
    qputenv("XDG_CACHE_HOME", "cache");
    EXPECT_EQ(configFolder(), home + QStringLiteral("/.config/quillmark"));
    EXPECT_EQ(dataFolder(), home + QStringLiteral("/.local/share/quillmark"));
    EXPECT_EQ(userCacheHome(), home + QStringLiteral("/.cache"));

    // The store's mark follows the same rule: never a folder named by a
    // relative path below wherever the program happens to be.
    Store::markChecked(storePath());
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    EXPECT_TRUE(QFileInfo(home + QStringLiteral("/.cache/quillmark/checked")).isDir());
    EXPECT_FALSE(QFileInfo::exists(pathOf(QStringLiteral("cache"))));

    qputenv("XDG_CACHE_HOME", QFile::encodeName(pathOf(QStringLiteral("own-cache"))));
    EXPECT_EQ(userCacheHome(), pathOf(QStringLiteral("own-cache")));

    // Without HOME (or with a relative one, or "/"), the account's home; a
    // home that is "/" or missing is no home at all.
    for (const char* value : {"", "relative/home", "/"}) {
        value[0] ? qputenv("HOME", value) : qunsetenv("HOME");
        qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(homeFolder(), accountHome()) << value;
        const QString config = configFolder();
        EXPECT_TRUE(config.isEmpty() || config == accountHome() + QStringLiteral("/.config/quillmark"))
            << value;
        EXPECT_FALSE(
            config.startsWith(QStringLiteral("/.config")) || config.startsWith(QStringLiteral("/quillmark")));
    }
}
