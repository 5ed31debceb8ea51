// SPDX-License-Identifier: GPL-3.0-or-later
// Photo, music and video details: the readers over real files made here,
// hostile and broken files, and the scan that stores them beside the records
// and loses them with the records.
#include "catalog/FolderScan.h"
#include "catalog/MediaStore.h"
#include "catalog/UndoKeep.h"
#include "catalog/store/Store.h"
#include "catalog/tree/TreeCheck.h"
#include "catalog/update/ScanUpdate.h"
#include "catalog/scan/MediaDetails.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include <QFile>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

namespace {

class MediaTest : public qmtest::StoreTest {
protected:
    // A camera's shot with GPS, a phone's shot without, a song, a FLAC, a video.
    void makeLibrary(const QString& folder)
    {
        qmtest::makeJpeg(pathOf(folder + QStringLiteral("/DSCF0001.JPG")), 64, 48,
            {QStringLiteral("2019:06:14 10:22:33"), QStringLiteral("FUJIFILM"), QStringLiteral("X100V"),
                QStringLiteral("23mm F2"), QStringLiteral("51/1 30/1 0/1"), QStringLiteral("0/1 7/1 30/1"), 'N', 'W'});
        qmtest::makeJpeg(pathOf(folder + QStringLiteral("/phone.jpg")), 40, 30,
            {QStringLiteral("2021:01:02 03:04:05"), QStringLiteral("Apple"), QStringLiteral("iPhone 12"), {}, {}, {}});
        qmtest::makeMp3(pathOf(folder + QStringLiteral("/Music/01 Intro.mp3")), 5,
            {QStringLiteral("Åsa Lindqvist"), QStringLiteral("Night Trains"), QStringLiteral("Intro"), 1, 2004});
        qmtest::makeFlac(pathOf(folder + QStringLiteral("/Music/long.flac")), 700,
            {QStringLiteral("The Long Band"), QStringLiteral("Endless"), QStringLiteral("Drone"), 3, 1999});
        makeFile(folder + QStringLiteral("/clip.mp4"), qmtest::mp4Bytes(1920, 1080, 12500));
        makeFile(folder + QStringLiteral("/notes.txt"), QByteArray("not a photo"));
    }
    MediaDetails read(const QString& relative)
    {
        const QByteArray path = QFile::encodeName(pathOf(relative));
        MediaDetails d;
        EXPECT_TRUE(readMediaDetails(path.toStdString(), mediaKindOf(path.toStdString()), d)) << path.constData();
        return d;
    }
};

} // namespace

TEST_F(MediaTest, ReadsPhotoMusicAndVideoDetailsFromTheirHeaders)
{
    makeDir(QStringLiteral("lib/Music"));
    makeLibrary(QStringLiteral("lib"));

    const MediaDetails photo = read(QStringLiteral("lib/DSCF0001.JPG"));
    EXPECT_EQ(photo.kind, MediaKind::Image);
    EXPECT_EQ(photo.taken, "2019-06-14 10:22:33");
    EXPECT_EQ(photo.make, "FUJIFILM");
    EXPECT_EQ(photo.model, "X100V");
    EXPECT_EQ(photo.lens, "23mm F2");
    EXPECT_EQ(photo.width, 64);
    EXPECT_EQ(photo.height, 48);
    ASSERT_TRUE(photo.latitude && photo.longitude);
    EXPECT_NEAR(*photo.latitude, 51.5, 1e-9);
    EXPECT_NEAR(*photo.longitude, -(7.0 + 30.0 / 60) / 60, 1e-9); // west
    EXPECT_FALSE(read(QStringLiteral("lib/phone.jpg")).latitude);

    const MediaDetails song = read(QStringLiteral("lib/Music/01 Intro.mp3"));
    EXPECT_EQ(song.kind, MediaKind::Audio);
    EXPECT_EQ(song.artist, "Åsa Lindqvist");
    EXPECT_EQ(song.album, "Night Trains");
    EXPECT_EQ(song.title, "Intro");
    EXPECT_EQ(song.track, 1);
    EXPECT_EQ(song.year, 2004);
    ASSERT_TRUE(song.durationMs);
    EXPECT_NEAR(static_cast<double>(*song.durationMs), 5000, 150);

    const MediaDetails flac = read(QStringLiteral("lib/Music/long.flac"));
    EXPECT_EQ(flac.artist, "The Long Band");
    EXPECT_EQ(flac.year, 1999);
    EXPECT_EQ(flac.durationMs, 700000);

    const MediaDetails video = read(QStringLiteral("lib/clip.mp4"));
    EXPECT_EQ(video.kind, MediaKind::Video);
    EXPECT_EQ(video.width, 1920);
    EXPECT_EQ(video.height, 1080);
    EXPECT_EQ(video.durationMs, 12500);
    EXPECT_EQ(video.codec, "AVC");

    EXPECT_EQ(mediaSummary(photo),
        QStringLiteral("FUJIFILM X100V, 23mm F2, taken 2019-06-14 10:22:33, 64 × 48, GPS 51.50000, -0.12500"));
    EXPECT_EQ(mediaSummary(song), QStringLiteral("Åsa Lindqvist – Night Trains: Intro, 2004, 0:05"));
    EXPECT_EQ(durationText(3723000), QStringLiteral("1:02:03"));
}

TEST_F(MediaTest, BrokenHostileAndForeignFilesAreNotUnderstoodAndNeverFollowed)
{
    makeDir(QStringLiteral("bad"));
    qmtest::makeJpeg(pathOf(QStringLiteral("bad/whole.jpg")), 32, 32,
        {QStringLiteral("2019:06:14 10:22:33"), QStringLiteral("FUJIFILM"), QStringLiteral("X100V"), {}, {}, {}});
    const QByteArray jpeg = readFile(pathOf(QStringLiteral("bad/whole.jpg")));
    makeFile(QStringLiteral("bad/cut.jpg"), jpeg.left(jpeg.size() / 3));
    makeFile(QStringLiteral("bad/header.jpg"), jpeg.left(40));
    // An ID3v2 header claiming far more than follows, then noise.
    makeFile(QStringLiteral("bad/song.mp3"), QByteArray("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) + QByteArray(300, '\x55'));
    makeFile(QStringLiteral("bad/empty.flac"), QByteArray());
    makeFile(QStringLiteral("bad/clip.mp4"), QByteArray(5000, '\x01'));
    QByteArray lying = qmtest::mp4Bytes(640, 480, 1000);
    lying.replace(0, 4, QByteArray("\x7f\xff\xff\xff", 4)); // an ftyp box larger than the file
    makeFile(QStringLiteral("bad/lying.mov"), lying);
    for (const char* name : {"bad/cut.jpg", "bad/header.jpg", "bad/song.mp3", "bad/empty.flac", "bad/clip.mp4",
             "bad/lying.mov"}) {
        const QByteArray path = QFile::encodeName(pathOf(QString::fromLatin1(name)));
        MediaDetails d;
        d.make = "left over";
        // Whether it says nothing or a little, it returns, and keeps nothing stale.
        if (!readMediaDetails(path.toStdString(), mediaKindOf(name), d)) {
            EXPECT_FALSE(d.read()) << name;
        }
        EXPECT_NE(d.make, "left over") << name;
    }

    // A link is never followed, a FIFO never waited on.
    const QByteArray target = QFile::encodeName(pathOf(QStringLiteral("bad/whole.jpg")));
    const QByteArray link = QFile::encodeName(pathOf(QStringLiteral("bad/link.jpg")));
    const QByteArray fifo = QFile::encodeName(pathOf(QStringLiteral("bad/fifo.mp3")));
    ASSERT_EQ(::symlink(target.constData(), link.constData()), 0);
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    MediaDetails d;
    EXPECT_FALSE(readMediaDetails(link.toStdString(), MediaKind::Image, d));
    EXPECT_FALSE(readMediaDetails(fifo.toStdString(), MediaKind::Audio, d));
    EXPECT_TRUE(readMediaDetails(target.toStdString(), MediaKind::Image, d));

    EXPECT_EQ(mediaKindOf("IMG_1.CR3"), MediaKind::Image);
    EXPECT_EQ(mediaKindOf("a.Opus"), MediaKind::Audio);
    EXPECT_EQ(mediaKindOf("b.mkv"), MediaKind::Video);
    EXPECT_EQ(mediaKindOf("jpg"), MediaKind::None);
    EXPECT_EQ(mediaKindOf("notes.txt"), MediaKind::None);
}

TEST_F(MediaTest, ScanStoresDetailsBesideTheRecordsAndTheyGoWithThem)
{
    makeDir(QStringLiteral("disk/Music"));
    makeLibrary(QStringLiteral("disk"));
    makeFile(QStringLiteral("disk/broken.jpg"), QByteArray("\xff\xd8\xff\xe1\x00\x10garbage", 12));

    FolderScan scan(db(), QStringLiteral("Photos"), 1);
    scan.setMedia(true);
    ASSERT_FALSE(scan.run(startFolderOf(pathOf(QStringLiteral("disk")))).isEmpty());
    EXPECT_EQ(scan.failure(), QString());
    EXPECT_EQ(scan.mediaStored(), 5);
    EXPECT_EQ(scan.mediaNotUnderstood(), 1);
    // Every file keeps its record, the broken one and the text too.
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Photos'")), 9);
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name || '|' || coalesce(md.Model, md.Artist, md.Codec) FROM media md "
                                   "JOIN main m ON m.SrNO = md.SrNO ORDER BY m.file_name")),
        QStringList({QStringLiteral("01 Intro.mp3|Åsa Lindqvist"), QStringLiteral("DSCF0001.JPG|X100V"),
            QStringLiteral("clip.mp4|AVC"), QStringLiteral("long.flac|The Long Band"),
            QStringLiteral("phone.jpg|iPhone 12")}));

    // A scan that was not asked to read them reads none.
    FolderScan plain(db(), QStringLiteral("Plain"), 1);
    ASSERT_FALSE(plain.run(startFolderOf(pathOf(QStringLiteral("disk")))).isEmpty());
    EXPECT_EQ(count({}, QStringLiteral("media")), 5);

    // A deleted record takes its details with it.
    db().exec("DELETE FROM main WHERE file_name = 'DSCF0001.JPG' AND dbaseName = 'Photos'");
    EXPECT_EQ(count({}, QStringLiteral("media")), 4);
    db().exec("DELETE FROM main WHERE dbaseName = 'Photos'");
    EXPECT_EQ(count({}, QStringLiteral("media")), 0);
}

// An update reads what changed or is new, keeps the rest unread, and a file
// that changed into something unreadable loses the details of its old content.
TEST_F(MediaTest, AnUpdateReadsWhatChangedAndKeepsTheRest)
{
    makeDir(QStringLiteral("disk/Music"));
    makeLibrary(QStringLiteral("disk"));
    FolderScan scan(db(), QStringLiteral("Photos"), 1);
    scan.setMedia(true);
    const QString key = scan.run(startFolderOf(pathOf(QStringLiteral("disk"))));
    ASSERT_FALSE(key.isEmpty()) << scan.failure().toStdString();
    ASSERT_EQ(count({}, QStringLiteral("media")), 5);

    qmtest::makeMp3(pathOf(QStringLiteral("disk/Music/01 Intro.mp3")), 9,
        {QStringLiteral("Other Artist"), QStringLiteral("Night Trains"), QStringLiteral("Intro"), 1, 2004});
    makeFile(QStringLiteral("disk/phone.jpg"), QByteArray("\xff\xd8\xff\xe1\x00\x10garbage and more", 22));
    qmtest::makeFlac(pathOf(QStringLiteral("disk/Music/new.flac")), 100,
        {QStringLiteral("New Band"), QStringLiteral("First"), QStringLiteral("One"), 1, 2020});

    ScanUpdate update(db(), QStringLiteral("Photos"), *findTopFolder(db(), QStringLiteral("Photos"), key));
    update.setMedia(true);
    update.setConfirm([](const UpdateRisk&) { return true; });
    ASSERT_TRUE(update.run()) << update.failure().toStdString();
    ASSERT_NE(update.mediaStage(), nullptr);
    EXPECT_EQ(update.mediaStage()->filesRead(), 2);
    EXPECT_EQ(update.mediaStage()->filesNotUnderstood(), 1);
    EXPECT_EQ(update.mediaStage()->filesKept(), 3);
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name || '|' || coalesce(md.Model, md.Artist, md.Codec) FROM media md "
                                   "JOIN main m ON m.SrNO = md.SrNO ORDER BY m.file_name")),
        QStringList({QStringLiteral("01 Intro.mp3|Other Artist"), QStringLiteral("DSCF0001.JPG|X100V"),
            QStringLiteral("clip.mp4|AVC"), QStringLiteral("long.flac|The Long Band"),
            QStringLiteral("new.flac|New Band")}));
}

TEST_F(MediaTest, UndoOfADeleteBringsTheDetailsBackAndAnOlderStoreComesUpWithEveryRecord)
{
    makeDir(QStringLiteral("disk/Music"));
    makeLibrary(QStringLiteral("disk"));
    FolderScan scan(db(), QStringLiteral("Photos"), 1);
    scan.setMedia(true);
    const QString key = scan.run(startFolderOf(pathOf(QStringLiteral("disk"))));
    ASSERT_FALSE(key.isEmpty());
    const QString all = QStringLiteral("SELECT md.SrNO || '|' || m.file_name || '|' || coalesce(md.Taken, '') || '|' || "
                                       "coalesce(md.DurationMs, '') FROM media md JOIN main m ON m.SrNO = md.SrNO "
                                       "ORDER BY md.SrNO");
    const QStringList before = texts(all);
    ASSERT_EQ(before.size(), 5);
    UndoKeep keep;
    {
        UndoKeep::Attached attached(keep, db(), true);
        SQLite::Transaction write(db());
        keep.keep(db(), UndoKeep::Kind::DeleteFolder, QStringLiteral("Photos"), key, QStringLiteral("disk"));
        EXPECT_EQ(deleteScanRecords(db(), QStringLiteral("Photos"), key), 8);
        keep.written(db());
        write.commit();
    }
    EXPECT_EQ(count({}, QStringLiteral("media")), 0);
    UndoKeep::Attached attached(keep, db(), false);
    EXPECT_EQ(keep.restore(db()), 8);
    EXPECT_EQ(texts(all), before);

    // A store of the format before the details opens with every record, and
    // keeps details from then on.
    const QString old = pathOf(QStringLiteral("old.mdb"));
    ASSERT_TRUE(Store::create(old, Store::kFormat - 1).isEmpty());
    {
        SQLite::Database oldDb(old.toStdString(), SQLite::OPEN_READWRITE);
        for (int i = 1; i <= 20; ++i)
            oldDb.exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path, delKey) VALUES ('" + std::to_string(i)
                + ">', '1>', 'Old', 'f.jpg', '/f" + std::to_string(i) + ".jpg', '1>')");
    }
    ASSERT_TRUE(Store::prepare(old).isEmpty());
    SQLite::Database upgraded(old.toStdString(), SQLite::OPEN_READWRITE);
    EXPECT_EQ(upgraded.execAndGet("PRAGMA user_version").getInt(), Store::kFormat);
    EXPECT_EQ(upgraded.execAndGet("SELECT count(*) FROM main WHERE dbaseName = 'Old'").getInt(), 20);
    upgraded.exec("INSERT INTO media (SrNO, Kind, Make) VALUES (3, 1, 'FUJIFILM')");
    upgraded.exec("DELETE FROM main WHERE SrNO = 3");
    EXPECT_EQ(upgraded.execAndGet("SELECT count(*) FROM media").getInt(), 0);
}
