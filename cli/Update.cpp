// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Update.h"

#include "cli/StoreReady.h"
#include "platform/AppPaths.h"
#include "catalog/update/ScanUpdate.h"
#include "catalog/store/Store.h"
#include "cli/LongRun.h"
#include "cli/Output.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>

#include <cstdio>

namespace qm {
namespace {

constexpr int kFailed = 1;
constexpr int kPartial = 3;
constexpr int kInterrupted = 130;

const char* const kUsage
    = "usage: quillmark update CATALOGUE TOP-FOLDER-KEY-OR-PATH [--force] [--archives] [--fingerprints]\n"
      "       [--media] [--thumbnails]\n"
      "Walks a catalogued top-level folder again and brings its records up to date\n"
      "in one transaction: entries still there keep their keys (and register notes),\n"
      "changed sizes and dates are rewritten, new entries are added, vanished ones\n"
      "deleted. The folder is named by its key (\"12>\" or 12) or by its path.\n"
      "Entries that cannot be read keep their records, and everything below them.\n"
      "An update that looks like a slip is refused and nothing is changed: the disk\n"
      "the scan was made from is not mounted there now, another disk is, the folder\n"
      "is empty, or more than half of the scan's records would be removed.\n"
      "--force updates all the same, from what is at the folder now.\n"
      "--fingerprints fingerprints the contents of new and changed files, and of\n"
      "files that have none yet; an unchanged file (same size and modification\n"
      "time) keeps its fingerprint without being read. A file that vanished and a\n"
      "new one of the same size and fingerprint are one file moved: its record\n"
      "keeps its key and register notes under the new path.\n"
      "--archives lists new and changed archives (and those never listed) again,\n"
      "their members' old records replaced; unchanged archives keep theirs.\n"
      "--media reads the details of new and changed photos, music and videos, and\n"
      "of those that have none; an unchanged file keeps its details unread.\n"
      "--thumbnails makes thumbnails of new and changed pictures, and of those that\n"
      "have none; an unchanged picture keeps its thumbnail without being read.\n"
      "Exit status: 0 when updated; 1 when the catalogue, folder or disk does not fit,\n"
      "the update was refused as above, or the store fails (nothing is changed);\n"
      "2 for a usage error; 3 when updated but entries that could not be read kept\n"
      "their old records, files could not be read for their fingerprints or\n"
      "archives could not be listed; 130 when interrupted (nothing is changed).\n";

} // namespace

int runUpdateCommand(const QStringList& args)
{
    QStringList operands;
    bool force = false;
    bool fingerprints = false;
    bool archives = false;
    bool thumbnails = false;
    bool media = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--force"))
            force = true;
        else if (a == QLatin1String("--fingerprints"))
            fingerprints = true;
        else if (a == QLatin1String("--archives"))
            archives = true;
        else if (a == QLatin1String("--thumbnails"))
            thumbnails = true;
        else if (a == QLatin1String("--media"))
            media = true;
        else if (a == QLatin1String("--"))
            operands += args.mid(i + 1);
        else if (a.startsWith(u'-') && a.size() > 1)
            return cli::usageError(QStringLiteral("unknown option %1.").arg(a), kUsage);
        else
            operands << a;
        if (a == QLatin1String("--"))
            break;
    }
    if (operands.size() != 2)
        return cli::usageError(QStringLiteral("name a catalogue and one of its top-level folders."), kUsage);
    const QString& catalogue = operands[0];

    const QString store = cli::usableStore();
    if (store.isEmpty())
        return kFailed;
    try {
        auto db = openConnection(store);
        const auto top = findTopFolder(*db, catalogue, operands[1]);
        if (!top) {
            cli::fail(QStringLiteral("the catalogue \"%1\" has no top-level folder %2; quillmark list shows "
                                     "its folders.")
                          .arg(catalogue, operands[1]));
            return kFailed;
        }
        cli::ProgressLine progress;
        cli::InterruptGuard guard;
        ScanUpdate update(*db, catalogue, *top, &progress);
        update.setProgressInterval(std::chrono::milliseconds(200));
        update.setFingerprints(fingerprints);
        update.setArchives(archives);
        update.setThumbnails(thumbnails);
        update.setMedia(media);
        QString refusal;
        update.setConfirm([force, &refusal](const UpdateRisk& risk) {
            if (!force)
                refusal = riskText(risk)
                    + QStringLiteral(" Give --force to update it from what is there now; nothing was changed.");
            return force;
        });
        const bool done = update.run();
        if (const QString skipped = skippedReport(update.skippedCount(), update.firstSkipped());
            !skipped.isEmpty())
            cli::printLine(stderr, skipped);
        if (const QString listing = archiveReport(update.archiveStage()); !listing.isEmpty())
            cli::printLine(stderr, listing);
        if (update.cancelled()) {
            cli::fail(QStringLiteral("interrupted; nothing was changed."));
            return kInterrupted;
        }
        if (!done) {
            cli::fail(refusal.isEmpty() ? update.failure() : refusal);
            return kFailed;
        }
        cli::printLine(stdout,
            QStringLiteral("Updated %1 in \"%2\": %3.").arg(top->fileName, catalogue, updateSummary(update.counts())));
        if (fingerprints)
            cli::printLine(stdout, fingerprintSummary(update));
        if (archives)
            cli::printLine(stdout, archiveSummary(update));
        if (const MediaStage* stage = update.mediaStage())
            cli::printLine(stdout,
                QStringLiteral("Read the details of %1 photo, music or video file(s); %2 could not be understood; "
                               "%3 unchanged file(s) kept theirs.")
                    .arg(QString::number(stage->filesRead()), QString::number(stage->filesNotUnderstood()),
                        QString::number(stage->filesKept())));
        if (const ThumbnailStage* stage = update.thumbnailStage()) {
            cli::printLine(stdout, QStringLiteral("Made %1 thumbnail(s); %2 unchanged picture(s) kept theirs.")
                                       .arg(QString::number(stage->made()), QString::number(stage->kept())));
            if (const QString problems = thumbnailReport(*stage); !problems.isEmpty())
                cli::printLine(stderr, problems);
        }
        return update.skippedCount() > 0 || update.archiveStage().skippedCount() > 0 ? kPartial : 0;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kFailed;
    }
}

} // namespace qm
