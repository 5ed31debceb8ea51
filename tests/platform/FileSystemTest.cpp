#include "platform/FileSystem.h"
#include "support/TestSupport.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <map>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

namespace {

std::string bytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Every entry of a folder with what the file system layer says of it.
std::map<std::string, EntryInfo> listAll(Folder& folder)
{
    std::map<std::string, EntryInfo> out;
    int error = 0;
    while (const char* name = fileSystem().next(folder, error)) {
        EntryInfo info;
        EXPECT_EQ(fileSystem().stat(folder, name, info), 0) << name;
        out[name] = info;
    }
    EXPECT_EQ(error, 0);
    return out;
}

} // namespace

using FileSystemTest = qmtest::StoreTest;

TEST_F(FileSystemTest, ListsEveryEntryWithItsKindAndSizeWithoutFollowingLinks)
{
    makeFile(QStringLiteral("file.bin"), 1500);
    makeDir(QStringLiteral("sub/deeper"));
    ASSERT_EQ(::symlink("sub", bytes(pathOf(QStringLiteral("link-to-sub"))).c_str()), 0);
    ASSERT_EQ(::symlink("file.bin", bytes(pathOf(QStringLiteral("link-to-file"))).c_str()), 0);
    ASSERT_EQ(::mkfifo(bytes(pathOf(QStringLiteral("pipe"))).c_str(), 0600), 0);

    int error = -1;
    auto top = fileSystem().open(bytes(folder()), error);
    ASSERT_TRUE(top);
    const auto entries = listAll(*top);
    ASSERT_EQ(entries.size(), 8u); // ".", "..", the store and five entries
    EXPECT_EQ(entries.at("file.bin").kind, EntryKind::File);
    EXPECT_EQ(entries.at("file.bin").size, 1500u);
    EXPECT_GT(entries.at("file.bin").created, 0);
    EXPECT_EQ(entries.at("sub").kind, EntryKind::Directory);
    EXPECT_EQ(entries.at("link-to-sub").kind, EntryKind::Other);
    EXPECT_EQ(entries.at("link-to-file").kind, EntryKind::Other);
    EXPECT_EQ(entries.at("pipe").kind, EntryKind::Other);
    EntryInfo self;
    ASSERT_EQ(fileSystem().stat(*top, self), 0);
    EXPECT_EQ(entries.at("file.bin").device, self.device);

    // Sub-folders open relative to their parent; a link to one does not.
    auto sub = fileSystem().open(*top, "sub", error);
    ASSERT_TRUE(sub);
    EXPECT_EQ(listAll(*sub).count("deeper"), 1u);
    EXPECT_FALSE(fileSystem().open(*top, "link-to-sub", error));
    EXPECT_NE(error, 0);
    EXPECT_FALSE(fileSystem().open(*top, "file.bin", error));
    EXPECT_EQ(error, ENOTDIR);

    // A vanished entry and a missing folder give their errors instead of crashing.
    EntryInfo gone;
    EXPECT_EQ(fileSystem().stat(*top, "gone", gone), ENOENT);
    EXPECT_FALSE(fileSystem().open(bytes(pathOf(QStringLiteral("missing"))), error));
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
