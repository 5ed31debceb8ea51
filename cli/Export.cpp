// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Export.h"

#include "cli/StoreReady.h"
#include "platform/AppPaths.h"
#include "catalog/Export.h"
#include "catalog/store/Store.h"
#include "cli/ExportTarget.h"
#include "cli/Output.h"

#include <QFile>
#include <QTemporaryFile>

#include <SQLiteCpp/Database.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace qm {
namespace {

constexpr int kFailed = 1;

const char* const kUsageText
    = "usage: quillmark export CATALOGUE [--format csv|json] [--output FILE]\n"
      "Writes every record of CATALOGUE in database.mdb, in the order they were\n"
      "stored, to standard output or to FILE: CSV with a header row (the default),\n"
      "or JSON, one object per line.\n"
      "Every record comes from one state of the database, whatever is written to\n"
      "it meanwhile. A plain FILE is replaced only by a whole export; a pipe or a\n"
      "terminal is written to as it is. The database and its journal (by any name\n"
      "or link), a folder and a device are refused.\n"
      "Exit status: 0 when every record was written; 1 for a missing or unusable\n"
      "database, a catalogue it does not hold, a refused FILE, or a failure to read\n"
      "or write (FILE is then left as it was); 2 for a usage error.\n";

int usageError(const QString& text)
{
    return cli::usageError(text, kUsageText);
}

// The spooled text, to the output; empty when all of it went.
QString copied(QFile& spool, QIODevice& out)
{
    if (!spool.flush() || !spool.seek(0))
        return QStringLiteral("the temporary file failed: ") + spool.errorString();
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = spool.read(chunk.data(), chunk.size());
        if (n < 0)
            return QStringLiteral("the temporary file failed: ") + spool.errorString();
        if (n == 0)
            return {};
        if (out.write(chunk.constData(), n) != n)
            return QStringLiteral("the output cannot be written: ") + out.errorString();
    }
}

} // namespace

int runExportCommand(const QStringList& args)
{
    QString catalogue;
    bool named = false;
    QString format = QStringLiteral("csv");
    QString output;
    const std::pair<QString, QString*> valueOptions[] = {
        {QStringLiteral("--format"), &format}, {QStringLiteral("--output"), &output}};
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsageText, stdout);
            return 0;
        }
        bool tookValue = false;
        for (const auto& [name, value] : valueOptions) {
            if (a != name && !a.startsWith(name + u'='))
                continue;
            *value = a != name ? a.mid(name.size() + 1) : i + 1 < args.size() ? args[++i] : QString();
            if (value->isEmpty())
                return usageError(QStringLiteral("%1 needs a value.").arg(name));
            tookValue = true;
        }
        if (tookValue)
            continue;
        if (named)
            return usageError(QStringLiteral("only one catalogue can be exported at a time (%1).").arg(a));
        if (a == QLatin1String("--") && i + 1 < args.size())
            catalogue = args[++i];
        else if (a.startsWith(u'-') && a.size() > 1)
            return usageError(QStringLiteral("unknown option %1.").arg(a));
        else
            catalogue = a;
        named = true;
    }
    if (!named) {
        std::fputs(kUsageText, stderr);
        return cli::kUsageStatus;
    }
    Export::Format kind;
    if (format == QLatin1String("csv"))
        kind = Export::Format::Csv;
    else if (format == QLatin1String("json"))
        kind = Export::Format::Json;
    else
        return usageError(QStringLiteral("unknown format %1; use csv or json.").arg(format));

    const QString store = cli::usableStore(cli::Upgrade::Never);
    if (store.isEmpty())
        return kFailed;
    // The target is checked (and a pipe's reader waited for) before the
    // store is read, so nothing holds the store meanwhile.
    QString refused;
    const std::unique_ptr<cli::ExportTarget> target = output.isEmpty()
        ? cli::ExportTarget::standardOutput(store, refused)
        : cli::ExportTarget::open(output, store, refused);
    if (!target) {
        cli::fail(refused);
        return kFailed;
    }
    try {
        // Read only: a catalogue on a read-only share can be exported, and an
        // older store is read as it is.
        SQLite::Database db(
            QFile::encodeName(store).toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX);
        db.setBusyTimeout(5000);
        Export::Result result;
        QTemporaryFile spool;
        bool spooled = false;
        {
            // One state of the catalogue from the first read to the last.
            const Export::OneState state(db);
            if (!Export::knows(db, catalogue)) {
                cli::fail(QStringLiteral("%1 holds no catalogue named \"%2\"; nothing was written.").arg(store, catalogue));
                return kFailed;
            }
            // A pipe or a terminal goes at its reader's pace; with a rollback
            // journal that would keep every writer of the store waiting, so
            // the text goes to a temporary file first and the store is let go
            // at disk speed.
            spooled = target->pacedByReader() && Export::readingHoldsWriters(db);
            if (spooled && !spool.open()) {
                cli::fail(QStringLiteral("no temporary file for the export: ") + spool.errorString()
                    + QStringLiteral("; nothing was written."));
                return kFailed;
            }
            result = Export::write(db, catalogue, kind, spooled ? static_cast<QIODevice&>(spool) : target->device());
        }
        if (result.problem.isEmpty() && spooled)
            result.problem = copied(spool, target->device());
        if (result.problem.isEmpty())
            if (const QString problem = target->commit(); !problem.isEmpty()) {
                cli::fail(problem);
                return kFailed;
            }
        if (!result.problem.isEmpty()) {
            cli::fail(!target->isStream()
                    ? QStringLiteral("the export stopped: %1; %2 was left as it was.").arg(result.problem, output)
                    : spooled ? QStringLiteral("the export stopped: ") + result.problem + u'.'
                              : QStringLiteral("the export stopped after %1 record(s): ").arg(result.records)
                            + result.problem + u'.');
            return kFailed;
        }
        if (!output.isEmpty())
            cli::printLine(stdout, QStringLiteral("Exported %1 record(s) of \"").arg(result.records) + catalogue
                    + QStringLiteral("\" to ") + output + u'.');
        return 0;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kFailed;
    }
}

} // namespace qm
