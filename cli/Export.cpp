#include "cli/Export.h"

#include "catalog/AppPaths.h"
#include "catalog/Export.h"
#include "catalog/Store.h"
#include "cli/Output.h"

#include <QFile>
#include <QSaveFile>

#include <SQLiteCpp/Database.h>

#include <cstdio>
#include <memory>
#include <utility>

#include <unistd.h>

namespace qm {
namespace {

constexpr int kFailed = 1;

const char* const kUsageText
    = "usage: quillmark export CATALOGUE [--format csv|json] [--output FILE]\n"
      "Writes every record of CATALOGUE in database.mdb, in the order they were\n"
      "stored, to standard output or to FILE: CSV with a header row (the default),\n"
      "or JSON, one object per line.\n"
      "Exit status: 0 when every record was written; 1 for a missing or unusable\n"
      "database, a catalogue it does not hold, or a failure to read or write (FILE\n"
      "is then left as it was); 2 for a usage error.\n";

int usageError(const QString& text)
{
    return cli::usageError(text, kUsageText);
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

    const QString store = databasePath();
    if (const QString problem = Store::problemWith(store); !problem.isEmpty()) {
        cli::fail(problem);
        return kFailed;
    }
    try {
        // Read only: a catalogue on a read-only share can be exported, and an
        // older store is read as it is.
        SQLite::Database db(
            QFile::encodeName(store).toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX);
        db.setBusyTimeout(5000);
        if (!Export::knows(db, catalogue)) {
            cli::fail(QStringLiteral("%1 holds no catalogue named \"%2\"; nothing was written.").arg(store, catalogue));
            return kFailed;
        }
        std::unique_ptr<QFileDevice> out;
        if (output.isEmpty()) {
            auto stdOut = std::make_unique<QFile>();
            stdOut->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
            out = std::move(stdOut);
        } else {
            // The file is replaced only by a whole export.
            auto file = std::make_unique<QSaveFile>(output);
            if (!file->open(QIODevice::WriteOnly)) {
                cli::fail(QStringLiteral("%1 cannot be written: %2.").arg(output, file->errorString()));
                return kFailed;
            }
            out = std::move(file);
        }
        const Export::Result result = Export::write(db, catalogue, kind, *out);
        auto* file = qobject_cast<QSaveFile*>(out.get());
        if (result.problem.isEmpty() && file && !file->commit()) {
            cli::fail(QStringLiteral("%1 cannot be written: %2.").arg(output, file->errorString()));
            return kFailed;
        }
        if (!result.problem.isEmpty()) {
            cli::fail(file ? QStringLiteral("the export stopped: %1; %2 was left as it was.")
                                 .arg(result.problem, output)
                           : QStringLiteral("the export stopped after %1 record(s): %2.")
                                 .arg(QString::number(result.records), result.problem));
            return kFailed;
        }
        if (file)
            std::printf("Exported %lld record(s) of \"%s\" to %s.\n", static_cast<long long>(result.records),
                qPrintable(catalogue), qPrintable(output));
        return 0;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kFailed;
    }
}

} // namespace qm
