// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AddFolder.h"

#include "cli/StoreReady.h"
#include "platform/AppPaths.h"
#include "catalog/FolderScan.h"
#include "catalog/NameFile.h"
#include "catalog/Scans.h"
#include "catalog/store/Store.h"
#include "cli/LongRun.h"
#include "cli/Output.h"
#include "platform/Recordset.h"

#include <QDir>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>

#include <chrono>
#include <cstdio>

namespace qm {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kPartial = 3;
constexpr int kInterrupted = 130;

const char* const kUsageText
    = "usage: quillmark add-folder FOLDER [--name CATALOGUE] [--archives] [--fingerprints]\n"
      "       [--media] [--thumbnails]\n"
      "Catalogues FOLDER into database.mdb in the current folder (an installed\n"
      "copy, where there is none: the one in ~/.local/share/quillmark, made if\n"
      "needed), under the catalogue named by --name or else by the first line of\n"
      "dbase.name.\n"
      "--archives also lists the members of zip, tar (plain, gz, bz2, xz, zst),\n"
      "7z, rar, iso and cab files, and of archives inside them, as records below\n"
      "the archive's, from their headers alone.\n"
      "--fingerprints reads every file and keeps a fingerprint of its contents\n"
      "(XXH3-128), for finding duplicates; a file that cannot be read is\n"
      "catalogued without one and counts as left out.\n"
      "--thumbnails keeps a thumbnail of every picture (JPEG, TIFF, PNG, CR2, NEF,\n"
      "ARW, DNG) of at most 160 pixels, from the preview the file carries when it\n"
      "has one, for showing with the disk unplugged; a picture that gives none is\n"
      "named on stderr and keeps its record.\n"
      "--media reads what photos (JPEG, TIFF, PNG, HEIC, camera raw), music (MP3,\n"
      "FLAC, Ogg, Opus, M4A, WAV) and videos (MP4, MOV, MKV, AVI) say about\n"
      "themselves in their headers: date taken, camera, lens, size in pixels, GPS\n"
      "position; artist, album, title, track, year, duration; codec. find's\n"
      "taken:, camera:, artist:, duration>… and the like search them.\n"
      "Exit status: 0 when every entry was catalogued; 1 for an unusable database,\n"
      "folder or dbase.name, or a store failure; 2 for a usage error; 3 when entries\n"
      "that could not be read, or members of archives that could not be listed, were\n"
      "left out (the rest is kept); 130 when interrupted\n"
      "(what was added is kept).\n";

using cli::fail;
using cli::printLine;

} // namespace

int runAddFolderCommand(const QStringList& args)
{
    QString folder;
    QString name;
    bool named = false;
    bool archives = false;
    bool fingerprints = false;
    bool thumbnails = false;
    bool media = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsageText, stdout);
            return 0;
        }
        if (a == QLatin1String("--archives")) {
            archives = true;
            continue;
        }
        if (a == QLatin1String("--name")) {
            if (i + 1 >= args.size()) {
                fail(QStringLiteral("--name needs a catalogue name."));
                std::fputs(kUsageText, stderr);
                return kUsage;
            }
            name = args[++i];
            named = true;
        } else if (a == QLatin1String("--fingerprints")) {
            fingerprints = true;
        } else if (a == QLatin1String("--thumbnails")) {
            thumbnails = true;
        } else if (a == QLatin1String("--media")) {
            media = true;
        } else if (a.startsWith(QLatin1String("--name="))) {
            name = a.mid(7);
            named = true;
        } else if (a.startsWith(u'-') && a.size() > 1 && folder.isEmpty() && a != QLatin1String("--")) {
            fail(QStringLiteral("unknown option %1.").arg(a));
            std::fputs(kUsageText, stderr);
            return kUsage;
        } else if (folder.isEmpty()) {
            folder = a == QLatin1String("--") && i + 1 < args.size() ? args[++i] : a;
        } else {
            fail(QStringLiteral("only one folder can be added at a time (%1).").arg(a));
            std::fputs(kUsageText, stderr);
            return kUsage;
        }
    }
    if (folder.isEmpty()) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    if (!named) {
        const NameFile::Reading reading = NameFile::read();
        if (!reading.problem.isEmpty()) {
            fail(reading.problem + QStringLiteral(" Name the catalogue with --name; nothing was written."));
            return kFailed;
        }
        name = reading.name;
    }
    // The path as the folder list reports it: absolute, no closing "/".
    const StartFolder top = startFolderOf(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));

    const QString store = databasePath();
    // An installed copy started outside any catalogue's folder works on the
    // menu entry's catalogue, made here on the first scan.
    if (databaseIsTheDataFolders() && !QFileInfo::exists(store)) {
        const QString error = QDir().mkpath(dataFolder())
            ? Store::create(store)
            : QStringLiteral("Cannot make the folder ") + dataFolder();
        if (!error.isEmpty()) {
            fail(error);
            return kFailed;
        }
        printLine(stderr,
            QStringLiteral("quillmark: made the catalogue database ") + store
                + QStringLiteral(", the one the applications menu opens."));
    }
    if (!cli::storeReady(store))
        return kFailed;
    try {
        auto db = openConnection(store);
        cli::ProgressLine report;
        cli::InterruptGuard guard;
        // Keys start above every key the catalogue ever had.
        FolderScan scan(*db, name, 1, &report);
        scan.setProgressInterval(std::chrono::milliseconds(200));
        scan.setArchives(archives);
        scan.setFingerprints(fingerprints);
        scan.setThumbnails(thumbnails);
        scan.setMedia(media);
        const QString unreadable = scan.openStart(top.path);
        if (!unreadable.isEmpty()) {
            fail(unreadable);
            return kFailed;
        }
        const QString key = scan.newKey();
        scan.addTopFolder(top, key);
        scan.walk(top.path, key, key);
        scan.finish();

        const QString skipped = skippedReport(scan);
        if (!skipped.isEmpty())
            printLine(stderr, skipped);
        const QString archiveProblems = archiveReport(scan);
        if (!archiveProblems.isEmpty())
            printLine(stderr, archiveProblems);
        const QString thumbnailProblems = thumbnailReport(scan);
        if (!thumbnailProblems.isEmpty())
            printLine(stderr, thumbnailProblems);
        // What the table holds of the run, not what went into transactions.
        const QString kept = keptText(scan);
        if (!scan.failure().isEmpty()) {
            fail(QStringLiteral("the scan stopped: %1; %2 of it are kept in \"%3\".")
                     .arg(scan.failure(), kept, name));
            return kFailed;
        }
        printLine(stdout,
            QStringLiteral("%1 %2 into \"%3\": %4, top-level key %5, %6 entr%7 skipped.")
                .arg(scan.cancelled() ? QStringLiteral("Interrupted; kept what was added of")
                                      : QStringLiteral("Added"),
                    top.fileName, name, kept, key, QString::number(scan.skippedCount()),
                    scan.skippedCount() == 1 ? QStringLiteral("y was") : QStringLiteral("ies were")));
        if (archives)
            printLine(stdout,
                QStringLiteral("Listed %1 member(s) of %2 archive(s).")
                    .arg(scan.archiveStage().membersAdded())
                    .arg(scan.archiveStage().archivesListed()));
        if (fingerprints)
            printLine(stdout,
                QStringLiteral("Fingerprinted the contents of %1 file(s).").arg(scan.fingerprintsStored()));
        if (thumbnails)
            printLine(stdout, QStringLiteral("Kept thumbnails of %1 picture(s).").arg(scan.thumbnailsStored()));
        if (media)
            printLine(stdout,
                QStringLiteral("Read the details of %1 photo, music or video file(s); %2 could not be understood.")
                    .arg(scan.mediaStored())
                    .arg(scan.mediaNotUnderstood()));
        if (const auto earlier = earlierScanOfSameFolder(*db, name, key))
            printLine(stderr, QStringLiteral("quillmark: ") + alreadyCataloguedHint(*earlier));
        if (scan.cancelled())
            return kInterrupted;
        return scan.skippedCount() > 0 || scan.archiveStage().skippedCount() > 0 ? kPartial : 0;
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
        return kFailed;
    }
}

} // namespace qm
