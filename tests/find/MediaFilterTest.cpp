// SPDX-License-Identifier: GPL-3.0-or-later
// The filters on photo, music and video details and on the modification
// time: read from the query, and finding real files catalogued with their
// details after the folder they came from is gone, from the whole copy and
// from the index kept on disk alike.
#include "find/FindSupport.h"
#include "find/FindWindow.h"
#include "support/MediaFiles.h"

#include <QDir>

using namespace qm::find;

namespace {

class MediaFilterTest : public FindTest {
protected:
    void SetUp() override
    {
        FindTest::SetUp();
        makeDir(QStringLiteral("card/Music"));
        qmtest::makeJpeg(pathOf(QStringLiteral("card/DSCF0001.JPG")), 64, 48,
            {QStringLiteral("2019:06:14 10:22:33"), QStringLiteral("FUJIFILM"), QStringLiteral("X100V"),
                QStringLiteral("23mm F2"), QStringLiteral("51/1 30/1 0/1"), QStringLiteral("0/1 7/1 30/1")});
        qmtest::makeJpeg(pathOf(QStringLiteral("card/IMG_0002.jpg")), 40, 30,
            {QStringLiteral("2021:01:02 03:04:05"), QStringLiteral("Apple"), QStringLiteral("iPhone 12"), {}, {}, {}});
        qmtest::makeMp3(pathOf(QStringLiteral("card/Music/01 Intro.mp3")), 5,
            {QStringLiteral("Åsa Lindqvist"), QStringLiteral("Night Trains"), QStringLiteral("Intro"), 1, 2004});
        qmtest::makeFlac(pathOf(QStringLiteral("card/Music/long.flac")), 700,
            {QStringLiteral("The Long Band"), QStringLiteral("Endless"), QStringLiteral("Drone"), 3, 1999});
        makeFile(QStringLiteral("card/clip.mp4"), qmtest::mp4Bytes(1920, 1080, 12500));
        makeFile(QStringLiteral("card/x100 notes.txt"), QByteArray("notes"));
        qm::FolderScan run(db(), QStringLiteral("Card"), 1);
        run.setMedia(true);
        ASSERT_FALSE(run.run(qm::startFolderOf(pathOf(QStringLiteral("card")))).isEmpty());
        ASSERT_EQ(run.mediaStored(), 5);
        // Modified long ago, unlike the rest, made today.
        db().exec("UPDATE main SET modified = " + std::to_string(QDateTime(QDate(2018, 5, 1), QTime(12, 0)).toSecsSinceEpoch())
            + " WHERE file_name = 'x100 notes.txt'");
        // The card goes back in the drawer.
        ASSERT_TRUE(QDir(pathOf(QStringLiteral("card"))).removeRecursively());
    }
};

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace

TEST_F(MediaFilterTest, FindsPhotosMusicAndVideosByTheirDetailsWithTheDiskGone)
{
    const std::vector<std::pair<const char*, QStringList>> cases {
        {"camera:x100 taken:2019-06 ext:jpg", {"DSCF0001.JPG"}},
        {"camera:\"fujifilm x100\"", {"DSCF0001.JPG"}},
        {"camera:IPHONE", {"IMG_0002.jpg"}},
        {"taken:2019", {"DSCF0001.JPG"}},
        {"taken>=2020-01-01", {"IMG_0002.jpg"}},
        {"taken<2019-06-14", {}},
        {"taken<=2019-06-14", {"DSCF0001.JPG"}},
        {"taken>2019-06-14T10:22", {"IMG_0002.jpg"}},
        {"lens:23mm", {"DSCF0001.JPG"}},
        {"height<48", {"IMG_0002.jpg"}},
        {"width>=1920 codec:avc", {"clip.mp4"}},
        {"artist:åsa", {"01 Intro.mp3"}},
        {"intro artist:lindqvist", {"01 Intro.mp3"}},
        {"outro artist:lindqvist", {}},
        {"album:endless year:1999", {"long.flac"}},
        {"year>=2000", {"01 Intro.mp3"}},
        {"duration>10m", {"long.flac"}},
        {"duration<6s", {"01 Intro.mp3"}},
        {"duration>=10s duration<=1:00", {"clip.mp4"}},
        {"title:drone type:folder", {}},
        {"x100", {"x100 notes.txt"}}, // a word is a name's, not a camera's
        {"modified<2020-01-01", {"x100 notes.txt"}},
        {"modified>=2020-01-01 ext:txt", {}},
        {"modified>=2020-01-01 camera:x100", {"DSCF0001.JPG"}},
    };
    SearchIndex onDisk(storePath(), indexPlaceOf(storePath()).file);
    onDisk.sync();
    for (const auto& [query, expected] : cases) {
        EXPECT_EQ(found(QString::fromUtf8(query)), sorted(expected)) << query;
        const ParsedQuery parsed = parseQuery(QString::fromUtf8(query));
        std::vector<std::uint32_t> entries;
        onDisk.search(parsed.query, [&](std::uint32_t e) {
            entries.push_back(e);
            return true;
        });
        QStringList names;
        for (const Hit& h : onDisk.details(entries))
            names << h.name;
        EXPECT_EQ(sorted(names), sorted(expected)) << query << " (index on disk)";
    }
    EXPECT_TRUE(onDisk.onDisk());

    // A hit tells what its headers said and when the file was modified.
    const std::vector<Hit> photo = hits(QStringLiteral("camera:x100"));
    ASSERT_EQ(photo.size(), 1U);
    EXPECT_TRUE(photo[0].media.contains(QStringLiteral("FUJIFILM X100V"))) << photo[0].media.toStdString();
    EXPECT_TRUE(photo[0].media.contains(QStringLiteral("taken 2019-06-14 10:22:33")));
    EXPECT_EQ(photo[0].modified.size(), 19);
    const std::vector<Hit> song = hits(QStringLiteral("artist:long"));
    ASSERT_EQ(song.size(), 1U);
    EXPECT_TRUE(song[0].media.startsWith(QStringLiteral("The Long Band – Endless"))) << song[0].media.toStdString();
    EXPECT_TRUE(song[0].media.endsWith(QStringLiteral("11:40")));
    EXPECT_EQ(hits(QStringLiteral("notes")).at(0).modified, QStringLiteral("2018-05-01 12:00:00"));

    // The Find window's rows: the details in the name's tooltip, the
    // modification time in the last column.
    FindResults rows;
    rows.replace(photo);
    const QString tip = rows.data(rows.index(0, FindResults::Name), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("DSCF0001.JPG\n"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("FUJIFILM X100V, 23mm F2, taken 2019-06-14 10:22:33")));
    EXPECT_EQ(rows.data(rows.index(0, FindResults::Modified), Qt::DisplayRole).toString(), photo[0].modified);
    EXPECT_EQ(FindResults::headers().last(), QStringLiteral("Modified"));
}

TEST_F(MediaFilterTest, ReadsBoundsAndRefusesWhatIsNoValue)
{
    const Query q = parseQuery(QStringLiteral("taken>2019-06 duration:3:30 width>4000 width<=6000 camera:X100")).query;
    EXPECT_EQ(q.details.takenFrom, "2019-07-01 00:00:00");
    EXPECT_FALSE(q.details.takenBefore);
    EXPECT_EQ(q.details.durationMs.least, 210000);
    EXPECT_EQ(q.details.durationMs.most, 210999);
    EXPECT_EQ(q.details.width.least, 4001);
    EXPECT_EQ(q.details.width.most, 6000);
    ASSERT_EQ(q.details.texts.size(), 1U);
    EXPECT_EQ(q.details.texts[0].folded, "x100");
    EXPECT_FALSE(q.empty());
    EXPECT_EQ(parseQuery(QStringLiteral("duration>1h30m")).query.details.durationMs.least, 5400001);

    for (const char* bad : {"taken:June", "taken:2019-13", "duration>abc", "width:4k", "year:", "lens:",
             "modified>=yesterday"})
        EXPECT_FALSE(parseQuery(QString::fromLatin1(bad)).error.isEmpty()) << bad;
    // A user's text comes back in the message as typed.
    EXPECT_TRUE(parseQuery(QStringLiteral("taken:%1%2")).error.contains(QStringLiteral("\"%1%2\"")));
}
