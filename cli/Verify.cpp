// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Verify.h"

#include "catalog/ScanVerify.h"
#include "catalog/store/ReadOnlyStore.h"
#include "cli/LongRun.h"
#include "cli/Output.h"
#include "platform/AppPaths.h"
#include "platform/Csv.h"
#include "platform/Numbers.h"

#include <SQLiteCpp/Database.h>

#include <cstdio>

namespace qm {
namespace {

constexpr int kDiffer = 1;
constexpr int kError = 2;
constexpr int kInterrupted = 130;

const char* const kUsage
    = "usage: quillmark verify CATALOGUE TOP [--csv]\n"
      "Walks the catalogued top-level folder TOP (its key, \"12>\" or 12, or its\n"
      "path) where its disk is mounted now, reads every file again, and tells what\n"
      "differs from the catalogue: entries missing, new entries, files changed (size\n"
      "or modification time differ), and files whose contents changed although their\n"
      "size and modification time did not (corrupt: the fingerprint taken by\n"
      "add-folder --fingerprints differs). Files without a fingerprint are compared\n"
      "by size and time alone, and counted so. Entries that cannot be read are told,\n"
      "never counted as the same. Nothing is written to database.mdb.\n"
      "--csv prints one row a finding: change, path, detail, key.\n"
      "Exit status: 0 when everything is as catalogued, 1 when anything differs or\n"
      "could not be read, 2 on an error, 130 when interrupted.\n";

} // namespace

int runVerifyCommand(const QStringList& args)
{
    const cli::CsvOperands parsed = cli::csvOperands(args, kUsage);
    if (parsed.exit)
        return *parsed.exit;
    const QStringList& operands = parsed.operands;
    const bool csv = parsed.csv;
    if (operands.size() != 2)
        return cli::usageError(QStringLiteral("name a catalogue and one of its top-level folders."), kUsage);
    const QString& catalogue = operands[0];

    QString problem;
    const auto db = Store::openReadOnly(databasePath(), problem);
    if (!db) {
        cli::fail(problem);
        return kError;
    }
    try {
        const auto top = findTopFolder(*db, catalogue, operands[1]);
        if (!top) {
            cli::fail(QStringLiteral("the catalogue \"") + catalogue + QStringLiteral("\" has no top-level folder ")
                + operands[1] + QStringLiteral("; quillmark list shows its folders."));
            return kError;
        }
        cli::ProgressLine progress;
        cli::InterruptGuard guard;
        ScanVerify verify(*db, catalogue, *top, &progress);
        verify.setProgressInterval(std::chrono::milliseconds(200));
        const bool done = verify.run();
        if (verify.cancelled()) {
            cli::fail(QStringLiteral("interrupted; the check is incomplete."));
            return kInterrupted;
        }
        if (!done) {
            cli::fail(verify.failure());
            return kError;
        }
        if (csv) {
            auto row = [](const QStringList& fields) { std::fputs(csvLine(fields).toUtf8().constData(), stdout); };
            row({QStringLiteral("change"), QStringLiteral("path"), QStringLiteral("detail"), QStringLiteral("key")});
            for (const VerifyFinding& f : verify.findings())
                row({verifyKindText(f.kind), f.path, f.detail, f.key});
            std::fflush(stdout);
        } else {
            for (const VerifyFinding& f : verify.findings())
                cli::printLine(stdout,
                    verifyKindText(f.kind) + QStringLiteral(": ") + f.path
                        + (f.detail.isEmpty() ? QString() : QStringLiteral(" (") + f.detail + u')'));
            const VerifyCounts& c = verify.counts();
            if (const std::int64_t unprinted = c.same - c.sameByContent; unprinted > 0)
                cli::printLine(stdout,
                    figureLocale().toString(unprinted)
                        + QStringLiteral(" file(s) have no fingerprint in the catalogue: compared by size and "
                                         "modification time alone."));
            cli::printLine(stdout,
                QStringLiteral("Verified ") + top->fileName + QStringLiteral(" of \"") + catalogue
                    + QStringLiteral("\" (") + readableSize(static_cast<std::uint64_t>(c.bytesRead))
                    + QStringLiteral(" read): ") + verifySummary(c) + u'.');
        }
        return verify.same() ? 0 : kDiffer;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kError;
    }
}

} // namespace qm
