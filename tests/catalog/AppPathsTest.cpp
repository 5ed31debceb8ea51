#include "catalog/AppPaths.h"
#include "catalog/NameFile.h"
#include "support/TestSupport.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

namespace {

constexpr uid_t kNobody = 65534;

// While it lives, this process cannot make files in `folder`: the folder is
// read and search only, and root, whom that does not stop, acts as nobody.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : path_(QFile::encodeName(folder))
    {
        ::chmod(path_.constData(), 0555);
        if (::geteuid() == 0)
            actingAsNobody_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (actingAsNobody_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            std::abort(); // the rest of the suite would run as nobody
        ::chmod(path_.constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool ready() const { return ::geteuid() != 0; }

private:
    QByteArray path_;
    bool actingAsNobody_ = false;
};

using AppPathsTest = qmtest::StoreTest;

} // namespace

TEST_F(AppPathsTest, TheNameFileIsBesideTheProgramWhereItCanWriteElseInTheConfigurationFolder)
{
    const QString program = makeDir(QStringLiteral("program"));
    setProgramFolder(program);
    ASSERT_TRUE(NameFile::write(QStringLiteral("Portable")));
    EXPECT_EQ(NameFile::path(), program + QStringLiteral("/dbase.name"));

    // Another user reaches the folders; the configuration folder is theirs.
    const QString config = makeDir(QStringLiteral("config"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(config).constData(), kNobody, kNobody), 0);
    }
    {
        ReadOnlyFolder readOnly(program);
        ASSERT_TRUE(readOnly.ready());
        EXPECT_FALSE(canCreateFilesIn(program));
        EXPECT_EQ(NameFile::read().name, QString()); // the one beside the program is not read
        EXPECT_TRUE(NameFile::write(QStringLiteral("Installed"))); // makes config/quillmark
        EXPECT_EQ(NameFile::read().name, QStringLiteral("Installed"));
    }
    EXPECT_EQ(readFile(pathOf(QStringLiteral("config/quillmark/dbase.name"))), QByteArray("Installed\r\n"));
    EXPECT_EQ(readFile(program + QStringLiteral("/dbase.name")), QByteArray("Portable\r\n"));
    // No probe is left behind.
    EXPECT_EQ(QDir(program).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("dbase.name")});
    EXPECT_TRUE(canCreateFilesIn(program));
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Portable"));

    // Named outright, each file is where it is told to be, from wherever the
    // program goes afterwards.
    setNameFile(QStringLiteral("shared/names.txt"));
    setDatabaseFile(QStringLiteral("shared/catalogue.mdb"));
    QDir::setCurrent(program);
    EXPECT_EQ(NameFile::path(), pathOf(QStringLiteral("shared/names.txt")));
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("shared/catalogue.mdb")));
    setNameFile({});
    setDatabaseFile({});
    EXPECT_EQ(NameFile::path(), program + QStringLiteral("/dbase.name"));
    EXPECT_EQ(databasePath(), program + QStringLiteral("/database.mdb"));
}
