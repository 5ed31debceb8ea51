#include "platform/FileSystem.h"
#include "support/TestSupport.h"

#include <QFile>

#include <cerrno>
#include <ctime>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

using FileSystemTest = qmtest::StoreTest;

// The scan tests cover listing; here what the layer says of single entries.
TEST_F(FileSystemTest, EntriesAreLookedAtWhereTheyStandAndLinksAreNotOpened)
{
    makeFile(QStringLiteral("file.bin"), 1500);
    makeDir(QStringLiteral("sub"));
    const std::string top = QFile::encodeName(folder()).toStdString();
    ASSERT_EQ(::symlink("sub", (top + "/link-to-sub").c_str()), 0);
    ASSERT_EQ(::mkfifo((top + "/pipe").c_str(), 0600), 0);
    int error = -1;
    auto dir = fileSystem().open(top, error);
    ASSERT_TRUE(dir);
    EntryInfo file, link, pipe, self;
    ASSERT_EQ(fileSystem().stat(*dir, "file.bin", file) + fileSystem().stat(*dir, "link-to-sub", link)
            + fileSystem().stat(*dir, "pipe", pipe) + fileSystem().stat(*dir, self),
        0);
    EXPECT_EQ(file.kind, EntryKind::File);
    EXPECT_EQ(file.size, 1500u);
    EXPECT_GT(file.created, 0);
    EXPECT_EQ(file.device, self.device);
    EXPECT_EQ(self.kind, EntryKind::Directory);
    EXPECT_EQ(link.kind, EntryKind::Other);
    EXPECT_EQ(pipe.kind, EntryKind::Other);

    EXPECT_TRUE(fileSystem().open(*dir, "sub", error));
    EXPECT_FALSE(fileSystem().open(*dir, "link-to-sub", error));
    EXPECT_NE(error, 0);
    EXPECT_FALSE(fileSystem().open(*dir, "file.bin", error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(fileSystem().stat(*dir, "gone", file), ENOENT);
    EXPECT_FALSE(fileSystem().open(top + "/missing", error));
    EXPECT_EQ(error, ENOENT);
}

TEST(FileSystem, DateTextIsLocalTimeInOneFixedForm)
{
    const QByteArray previous = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "UTC");
    ::tzset();
    EXPECT_EQ(dateText(1700000000), QStringLiteral("2023-11-14 22:13:20"));
    qputenv("TZ", "JST-9");
    ::tzset();
    EXPECT_EQ(dateText(1700000000), QStringLiteral("2023-11-15 07:13:20"));
    if (hadTz)
        qputenv("TZ", previous);
    else
        qunsetenv("TZ");
    ::tzset();
}
