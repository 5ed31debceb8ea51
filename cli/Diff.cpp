// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Diff.h"

#include "catalog/ScanDiff.h"
#include "catalog/store/ReadOnlyStore.h"
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

const char* const kUsage
    = "usage: quillmark diff CATALOGUE-A TOP-A CATALOGUE-B TOP-B [--csv]\n"
      "Compares two scans from database.mdb alone (no disk need be mounted), by\n"
      "each entry's path relative to its scan's top-level folder (TOP: its key,\n"
      "\"12>\" or 12, or its path): entries only in A, only in B, files whose\n"
      "content differs (by fingerprint where both scans have one, otherwise by\n"
      "size), files moved (the same fingerprint under another path, counted once),\n"
      "and how many files are the same. Folders are told when in one scan only.\n"
      "--csv prints one row a difference: change, path_a, path_b, bytes_a, bytes_b,\n"
      "fingerprint_a, fingerprint_b, compared_by, key_a, key_b.\n"
      "The database is only read.\n"
      "Exit status: 0 when the scans are the same, 1 when they differ, 2 on an error.\n";

QString fingerprintOf(const DiffEntry& e)
{
    return e.hashed ? hashHex(e.hash) : QString();
}

QString bytesOf(const DiffEntry& e)
{
    return e.present() && !e.folder() ? QString::number(e.bytes) : QString();
}

QString lineOf(const DiffRow& r)
{
    switch (r.kind) {
    case DiffKind::OnlyInA:
        return QStringLiteral("only in A: ") + r.a.path;
    case DiffKind::OnlyInB:
        return QStringLiteral("only in B: ") + r.b.path;
    case DiffKind::Differs:
        return QStringLiteral("content differs: ") + r.a.path
            + (r.byContent ? QStringLiteral(" (fingerprints differ)")
                           : QStringLiteral(" (size ") + readableSize(r.a.bytes) + QStringLiteral(" in A, ")
                        + readableSize(r.b.bytes) + QStringLiteral(" in B)"));
    case DiffKind::Moved:
        return QStringLiteral("moved: ") + r.a.path + QStringLiteral(" -> ") + r.b.path;
    }
    return {};
}

} // namespace

int runDiffCommand(const QStringList& args)
{
    const cli::CsvOperands parsed = cli::csvOperands(args, kUsage);
    if (parsed.exit)
        return *parsed.exit;
    const QStringList& operands = parsed.operands;
    const bool csv = parsed.csv;
    if (operands.size() != 4)
        return cli::usageError(QStringLiteral("name two scans, each by its catalogue and top-level folder."), kUsage);

    QString problem;
    const auto db = Store::openReadOnly(databasePath(), problem);
    if (!db) {
        cli::fail(problem);
        return kError;
    }
    try {
        ScanRef scans[2];
        for (int side = 0; side < 2; ++side) {
            const QString& catalogue = operands[side * 2];
            const QString& top = operands[side * 2 + 1];
            const auto found = findTopFolder(*db, catalogue, top);
            if (!found) {
                cli::fail(QStringLiteral("the catalogue \"") + catalogue + QStringLiteral("\" has no top-level folder ")
                    + top + QStringLiteral("; quillmark list shows its folders."));
                return kError;
            }
            scans[side] = ScanRef {catalogue, *found};
        }
        const ScanDiffResult diff = diffScans(*db, scans[0], scans[1]);
        if (csv) {
            auto row = [](const QStringList& fields) { std::fputs(csvLine(fields).toUtf8().constData(), stdout); };
            row({QStringLiteral("change"), QStringLiteral("path_a"), QStringLiteral("path_b"), QStringLiteral("bytes_a"),
                QStringLiteral("bytes_b"), QStringLiteral("fingerprint_a"), QStringLiteral("fingerprint_b"),
                QStringLiteral("compared_by"), QStringLiteral("key_a"), QStringLiteral("key_b")});
            for (const DiffRow& r : diff.rows) {
                const bool compared = r.kind == DiffKind::Differs || r.kind == DiffKind::Moved;
                row({diffKindText(r.kind), r.a.path, r.b.path, bytesOf(r.a), bytesOf(r.b), fingerprintOf(r.a),
                    fingerprintOf(r.b),
                    compared ? (r.byContent ? QStringLiteral("fingerprint") : QStringLiteral("size")) : QString(),
                    r.a.key, r.b.key});
            }
            std::fflush(stdout);
        } else {
            for (const DiffRow& r : diff.rows)
                cli::printLine(stdout, lineOf(r));
            cli::printLine(stdout,
                QStringLiteral("A: ") + scans[0].top.fileName + QStringLiteral(" in \"") + scans[0].catalogue
                    + QStringLiteral("\"; B: ") + scans[1].top.fileName + QStringLiteral(" in \"")
                    + scans[1].catalogue + QStringLiteral("\". ") + diffSummary(diff.counts) + u'.');
        }
        return diff.same() ? 0 : kDiffer;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kError;
    }
}

} // namespace qm
