// SPDX-License-Identifier: GPL-3.0-or-later
// Archive members as catalogue entries: every format read from real files
// made here, hostile and broken archives told and never followed, and a scan
// that hangs the members below their archive's record.
#include "catalog/scan/ArchiveMembers.h"
#include "catalog/FolderScan.h"
#include "catalog/tree/CatalogueTree.h"
#include "catalog/tree/TreeCheck.h"
#include "platform/TreeView.h"
#include "support/ArchiveFiles.h"
#include "support/TestSupport.h"

#include <QDir>

#include <SQLiteCpp/Statement.h>

#include <set>

using namespace qm;
using qmtest::Entry;

namespace {

const std::vector<Entry> kMembers {{"docs/", {}, true}, {"docs/contract.txt", "contract"},
    {"photos/2019/a.jpg", "jpeg bytes"}, {"readme.txt", "read me first"}};
const std::vector<Entry> kFiles {{"docs/contract.txt", "contract"}, {"readme.txt", "read me first"}};

ArchiveListing listBytes(const std::string& bytes)
{
    return ArchiveMembers::listMemory(bytes.data(), bytes.size(), 1000);
}

std::set<std::string> paths(const ArchiveListing& listing)
{
    std::set<std::string> out;
    for (const ArchiveMember& m : listing.members)
        out.insert(m.path);
    return out;
}

const ArchiveMember* find(const ArchiveListing& listing, const std::string& path)
{
    for (const ArchiveMember& m : listing.members)
        if (m.path == path)
            return &m;
    return nullptr;
}

// Each member after the folder (or nested archive) that holds it, one level below it.
void expectFoldersFirst(const ArchiveListing& listing)
{
    std::vector<const ArchiveMember*> open;
    for (const ArchiveMember& m : listing.members) {
        ASSERT_LE(m.level, static_cast<int>(open.size())) << m.path;
        open.resize(static_cast<size_t>(m.level));
        if (!open.empty()) {
            EXPECT_EQ(m.path.rfind(open.back()->path, 0), 0u) << m.path;
        }
        if (m.folder || m.container)
            open.push_back(&m);
    }
}

TEST(ArchiveMembersTest, EveryFormatGivesItsMembersFoldersFirst)
{
    const std::set<std::string> all {
        "docs/", "docs/contract.txt", "photos/", "photos/2019/", "photos/2019/a.jpg", "readme.txt"};
    const std::vector<std::pair<std::string, std::string>> written {{"zip", ""}, {"pax", ""}, {"pax", "gzip"},
        {"pax", "bzip2"}, {"pax", "xz"}, {"pax", "zstd"}, {"7zip", ""}, {"iso9660", ""}};
    for (const auto& [format, filter] : written) {
        SCOPED_TRACE(format + " " + filter);
        const ArchiveListing listing = listBytes(qmtest::writeArchive(format, filter, kMembers));
        EXPECT_TRUE(listing.problem.isEmpty()) << listing.problem.toStdString();
        EXPECT_EQ(paths(listing), all);
        expectFoldersFirst(listing);
        const ArchiveMember* contract = find(listing, "docs/contract.txt");
        ASSERT_TRUE(contract);
        EXPECT_EQ(contract->name, "contract.txt");
        EXPECT_EQ(contract->bytes, 8u);
        EXPECT_EQ(contract->modified, 1561939200);
        EXPECT_EQ(find(listing, "photos/")->bytes, 10u); // the total of what it holds
    }
    for (const auto& [kind, bytes] :
        {std::pair {"rar", qmtest::rarArchive(kFiles)}, {"cab", qmtest::cabArchive(kFiles)}}) {
        SCOPED_TRACE(kind);
        const ArchiveListing listing = listBytes(bytes);
        EXPECT_TRUE(listing.problem.isEmpty()) << listing.problem.toStdString();
        EXPECT_EQ(paths(listing), (std::set<std::string> {"docs/", "docs/contract.txt", "readme.txt"}));
        ASSERT_TRUE(find(listing, "readme.txt"));
        EXPECT_EQ(find(listing, "readme.txt")->bytes, 13u);
    }
}

TEST(ArchiveMembersTest, OneLevelOfNestedArchivesIsListed)
{
    const std::string deepest = qmtest::writeArchive("zip", "", {{"never.txt", "x"}});
    const std::string inner
        = qmtest::writeArchive("pax", "gzip", {{"x/y.txt", "why"}, {"deeper.zip", deepest}});
    const ArchiveListing listing = listBytes(qmtest::writeArchive("zip", "", {{"old/inner.tar.gz", inner}}));
    ASSERT_TRUE(listing.problem.isEmpty()) << listing.problem.toStdString();
    EXPECT_EQ(paths(listing),
        (std::set<std::string> {"old/", "old/inner.tar.gz", "old/inner.tar.gz/x/", "old/inner.tar.gz/x/y.txt",
            "old/inner.tar.gz/deeper.zip"}));
    const ArchiveMember* container = find(listing, "old/inner.tar.gz");
    EXPECT_TRUE(container->container);
    EXPECT_FALSE(container->inner);
    const ArchiveMember* y = find(listing, "old/inner.tar.gz/x/y.txt");
    EXPECT_TRUE(y->inner);
    EXPECT_EQ(y->level, 3);
    EXPECT_FALSE(find(listing, "old/inner.tar.gz/deeper.zip")->container); // one level only
    expectFoldersFirst(listing);
}

TEST(ArchiveMembersTest, HostileNamesStayNames)
{
    const ArchiveListing listing = listBytes(qmtest::writeArchive("zip", "",
        {{"../../etc/passwd", "root"}, {"/abs/file", "a"}, {"ok/../../x", "b"}, {"./fine/y", "c"}}));
    ASSERT_TRUE(listing.problem.isEmpty()) << listing.problem.toStdString();
    EXPECT_EQ(paths(listing),
        (std::set<std::string> {"../../etc/passwd", "/abs/file", "ok/../../x", "fine/", "fine/y"}));
    for (const char* whole : {"../../etc/passwd", "/abs/file", "ok/../../x"}) {
        const ArchiveMember* m = find(listing, whole);
        EXPECT_EQ(m->name, whole); // one name, straight below the archive
        EXPECT_EQ(m->level, 0);
    }
}

TEST(ArchiveMembersTest, BrokenArchivesAreToldNotListed)
{
    const ArchiveListing encrypted
        = listBytes(qmtest::writeArchive("zip", "", {{"secret.txt", "hidden words"}}, "password"));
    EXPECT_TRUE(encrypted.members.empty());
    EXPECT_TRUE(encrypted.problem.contains(QStringLiteral("encrypted"))) << encrypted.problem.toStdString();

    std::string tar
        = qmtest::writeArchive("pax", "gzip", {{"a.bin", std::string(200000, 'a')}, {"b.txt", "b"}});
    tar.resize(tar.size() / 2);
    const ArchiveListing truncated = listBytes(tar);
    EXPECT_TRUE(truncated.members.empty());
    EXPECT_FALSE(truncated.problem.isEmpty());

    const ArchiveListing garbage = listBytes(std::string(5000, '\x42'));
    EXPECT_TRUE(garbage.members.empty());
    EXPECT_FALSE(garbage.problem.isEmpty());

    const ArchiveListing bomb = listBytes(qmtest::zipClaiming("bomb.bin", std::uint64_t {1} << 60));
    EXPECT_TRUE(bomb.members.empty());
    ASSERT_EQ(bomb.notes.size(), 1u) << bomb.problem.toStdString();
    EXPECT_TRUE(bomb.notes[0].contains(QStringLiteral("bomb.bin"))) << bomb.notes[0].toStdString();
}

TEST(ArchiveMembersTest, ListingStopsAfterTheMostMembers)
{
    std::vector<Entry> many;
    for (size_t i = 0; i <= ArchiveMembers::kMaxMembers; ++i)
        many.push_back({"f" + std::to_string(i), {}});
    const ArchiveListing listing = listBytes(qmtest::writeArchive("zip", "", many));
    EXPECT_EQ(listing.members.size(), ArchiveMembers::kMaxMembers);
    ASSERT_EQ(listing.notes.size(), 1u);
    EXPECT_TRUE(listing.notes[0].contains(QStringLiteral("100000")));
}

class ArchiveScanTest : public qmtest::StoreTest { };

TEST_F(ArchiveScanTest, MembersHangBelowTheirArchiveInTheTree)
{
    const QString top = makeDir(QStringLiteral("disk"));
    const std::string inner = qmtest::writeArchive("pax", "", {{"contract.pdf", "signed"}});
    const std::string zip = qmtest::writeArchive(
        "zip", "", {{"2019/a.jpg", "aaaa"}, {"notes.txt", "nn"}, {"inner.tar", inner}});
    qmtest::writeFile(top + QStringLiteral("/a/photos.zip"), zip);
    makeFile(QStringLiteral("disk/a/plain.txt"), 10);
    std::string broken = qmtest::writeArchive("pax", "xz", {{"x", std::string(100000, 'x')}});
    qmtest::writeFile(top + QStringLiteral("/b/broken.tar.xz"), broken.substr(0, broken.size() / 2));

    FolderScan scan(db(), QStringLiteral("Disks"), 1);
    scan.setArchives(true);
    scan.setBatch(3, std::chrono::milliseconds(0));
    const QString key = scan.run(startFolderOf(top));
    ASSERT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
    EXPECT_EQ(scan.archiveStage().archivesListed(), 1);
    const QString report = archiveReport(scan);
    EXPECT_TRUE(report.contains(top + QStringLiteral("/b/broken.tar.xz"))) << report.toStdString();

    const QString zipPath = top + QStringLiteral("/a/photos.zip");
    auto field = [&](const QString& column, const QString& path) {
        const QStringList got
            = texts(QStringLiteral("SELECT %1 FROM main WHERE path = '%2'").arg(column, path));
        return got.size() == 1 ? got[0] : QStringLiteral("<%1 rows>").arg(got.size());
    };
    EXPECT_EQ(field(QStringLiteral("in_archive"), zipPath), QStringLiteral("<null>"));
    EXPECT_EQ(field(QStringLiteral("bytes"), zipPath), QString::number(zip.size()));
    EXPECT_EQ(field(QStringLiteral("Parent"), zipPath + QStringLiteral("/2019/")),
        field(QStringLiteral("ID"), zipPath));
    EXPECT_EQ(field(QStringLiteral("Parent"), zipPath + QStringLiteral("/2019/a.jpg")),
        field(QStringLiteral("ID"), zipPath + QStringLiteral("/2019/")));
    EXPECT_EQ(
        field(QStringLiteral("file_name"), zipPath + QStringLiteral("/2019/a.jpg")), QStringLiteral("a.jpg"));
    EXPECT_EQ(
        field(QStringLiteral("in_archive"), zipPath + QStringLiteral("/2019/a.jpg")), QStringLiteral("1"));
    EXPECT_EQ(field(QStringLiteral("in_archive"), zipPath + QStringLiteral("/inner.tar/contract.pdf")),
        QStringLiteral("2"));
    EXPECT_EQ(field(QStringLiteral("size"), zipPath + QStringLiteral("/inner.tar/contract.pdf")),
        QStringLiteral("6"));
    EXPECT_EQ(field(QStringLiteral("date"), zipPath + QStringLiteral("/2019/a.jpg")).left(4),
        QStringLiteral("2019"));
    // The disk's sizes are the disk's: members add nothing to their folders.
    EXPECT_EQ(field(QStringLiteral("bytes"), top + QStringLiteral("/a/")), QString::number(zip.size() + 10));
    EXPECT_EQ(field(QStringLiteral("in_archive"), top + QStringLiteral("/b/broken.tar.xz")),
        QStringLiteral("<null>"));
    EXPECT_EQ(count(QStringLiteral("path LIKE '%broken.tar.xz/%'")), 0);
    EXPECT_EQ(count(QStringLiteral("in_archive IS NOT NULL")), 5);
    EXPECT_EQ(scan.recordsKept(), count());

    // Every record placed, and the archive opens in the tree.
    EXPECT_EQ(checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced, 0);
    NodeModel nodes;
    SQLite::Database reader(storePath().toStdString());
    fillCatalogueTree(reader, QStringLiteral("Disks"), nodes, true);
    auto child = [&nodes](Node* parent, auto matches) -> Node* {
        nodes.fetchChildren(parent);
        for (Node* c : parent->Children)
            if (matches(c))
                return c;
        return nullptr;
    };
    Node* node = child(nodes.Item(1), [&](Node* n) { return n->Key == key; });
    for (const QString& name : {QStringLiteral("a"), QStringLiteral("photos.zip")}) {
        ASSERT_TRUE(node) << name.toStdString();
        node = child(node, [&](Node* n) { return n->Text == name; });
    }
    ASSERT_TRUE(node);
    nodes.fetchChildren(node);
    QStringList children;
    for (Node* child : node->Children)
        children << child->Text;
    children.sort();
    EXPECT_EQ(children,
        (QStringList {QStringLiteral("2019"), QStringLiteral("inner.tar"), QStringLiteral("notes.txt")}));
}

} // namespace
