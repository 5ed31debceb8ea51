// SPDX-License-Identifier: GPL-3.0-or-later
// path: words and dupes: — filters that the store's row decides — give the
// same hits from the copy read whole and from the index kept on disk.
#include "FindSupport.h"

#include "find/IndexFile.h"
#include "find/PathMatch.h"

using namespace qm::find;
using L = QStringList;

class PathAndCopiesTest : public FindTest {
protected:
    // Two "disks" in two catalogues, fingerprinted: a photo kept on both,
    // a file of the same size but other content, and one of its own.
    void fill()
    {
        makeFile(QStringLiteral("photos/2019/Trip/IMG_0042.jpg"), QByteArray("the same picture"));
        makeFile(QStringLiteral("photos/2019/IMG_0043.jpg"), QByteArray("another picture!"));
        makeFile(QStringLiteral("photos/2020/IMG_0042.jpg"), QByteArray("a later picture"));
        makeFile(QStringLiteral("photos/Straße/note.txt"), QByteArray("street"));
        makeFile(QStringLiteral("backup/old 2019/IMG_0042 copy.jpg"), QByteArray("the same picture"));
        makeFile(QStringLiteral("backup/empty.txt"), QByteArray());
        makeFile(QStringLiteral("backup/also-empty.txt"), QByteArray());
        for (const auto& [folder, catalogue] : {std::pair {"photos", "Photos"}, std::pair {"backup", "Backup"}}) {
            qm::FolderScan run(db(), QString::fromLatin1(catalogue), 1);
            run.setFingerprints(true);
            ASSERT_FALSE(run.run(qm::startFolderOf(pathOf(QString::fromLatin1(folder)))).isEmpty());
        }
    }
    // Names found, sorted, by both engines; a difference fails the test.
    QStringList bothFind(const QString& text, bool caseSensitive = false)
    {
        const QStringList whole = found(text, caseSensitive);
        SearchIndex fromFile(storePath(), indexPlaceOf(storePath()).file);
        fromFile.sync();
        const ParsedQuery parsed = parseQuery(text, caseSensitive);
        std::vector<std::uint32_t> entries;
        fromFile.search(parsed.query, [&](std::uint32_t e) {
            entries.push_back(e);
            return true;
        });
        QStringList names;
        for (const Hit& h : fromFile.details(entries))
            names << h.name;
        names.sort();
        EXPECT_TRUE(fromFile.onDisk());
        EXPECT_EQ(names, whole) << "the index file and the whole copy differ on " << text.toStdString();
        return whole;
    }
};

TEST_F(PathAndCopiesTest, PathWordsMatchTheNameOrAFolderOnThePath)
{
    fill();
    EXPECT_EQ(bothFind(QStringLiteral("path:2019 IMG_0042")), (L {"IMG_0042 copy.jpg", "IMG_0042.jpg"}));
    // Same rules as a name word: a wildcard fits a whole folder name, quotes are literal, case on request.
    EXPECT_EQ(bothFind(QStringLiteral("path:20?9 type:file")), (L {"IMG_0042.jpg", "IMG_0043.jpg"}));
    EXPECT_EQ(bothFind(QStringLiteral("path:\"old 2019\"")), (L {"IMG_0042 copy.jpg", "old 2019"}));
    EXPECT_EQ(bothFind(QStringLiteral("path:trip")), (L {"IMG_0042.jpg", "Trip"}));
    EXPECT_EQ(bothFind(QStringLiteral("path:trip"), true), L {});
    EXPECT_EQ(bothFind(QStringLiteral("path:Trip"), true), (L {"IMG_0042.jpg", "Trip"}));
    // Folded: ß and ss are one without case.
    EXPECT_EQ(bothFind(QStringLiteral("path:strasse ext:txt")), (L {"note.txt"}));
    // The name itself counts too; several path words must all hold.
    EXPECT_EQ(bothFind(QStringLiteral("path:0043")), (L {"IMG_0043.jpg"}));
    EXPECT_EQ(bothFind(QStringLiteral("path:2019 path:trip")), (L {"IMG_0042.jpg", "Trip"}));
    EXPECT_EQ(bothFind(QStringLiteral("path:2020 catalogue:Backup")), L {});

    const ParsedQuery bad = parseQuery(QStringLiteral("path:"));
    EXPECT_TRUE(bad.error.contains(QStringLiteral("path: is followed by a word")));
}

TEST_F(PathAndCopiesTest, DupesFindFilesWithACopyInAnyCatalogue)
{
    fill();
    // Same size and fingerprint, across catalogues; same size other content is no copy; empty files are alike
    // and left out, as the dupes command leaves them.
    EXPECT_EQ(bothFind(QStringLiteral("dupes:yes")), (L {"IMG_0042 copy.jpg", "IMG_0042.jpg"}));
    EXPECT_EQ(bothFind(QStringLiteral("dupes:yes catalogue:Backup")), (L {"IMG_0042 copy.jpg"}));
    EXPECT_EQ(bothFind(QStringLiteral("dupes:no ext:jpg")), (L {"IMG_0042.jpg", "IMG_0043.jpg"}));
    EXPECT_EQ(bothFind(QStringLiteral("dupes:yes path:trip")), (L {"IMG_0042.jpg"}));

    // The copy deleted by another writer: the search follows the store.
    SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
    other.exec("DELETE FROM main WHERE file_name = 'IMG_0042 copy.jpg'");
    EXPECT_EQ(bothFind(QStringLiteral("dupes:yes")), L {});

    EXPECT_TRUE(parseQuery(QStringLiteral("dupes:maybe")).error.contains(QStringLiteral("yes or no")));
}

TEST(PathMatch, FoldersOfEitherSystemAndHostilePaths)
{
    const ParsedQuery q = parseQuery(QStringLiteral("path:2019"));
    ASSERT_EQ(q.query.pathWords.size(), 1U);
    const NamePattern& word = q.query.pathWords[0];
    EXPECT_TRUE(pathWordHolds("a.jpg", "D:\\Photos\\2019\\a.jpg", word, false));
    EXPECT_TRUE(pathWordHolds("2019", "/m/2019/", word, false));
    // The file's own name part of the path is no folder.
    EXPECT_FALSE(pathWordHolds("x.jpg", "/m/photos/2019.jpg", word, false));
    for (const char* path : {"", "/", "//", "\\\\", "no separator", "\xff\xfe/2019/\xc3"})
        EXPECT_EQ(pathWordHolds("x", path, word, false), std::string_view(path).find("2019") != std::string::npos)
            << path;
}
