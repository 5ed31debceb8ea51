// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Check.h"

#include "platform/AppPaths.h"
#include "catalog/store/Recovery.h"
#include "catalog/store/Store.h"
#include "cli/LongRun.h"
#include "cli/Output.h"
#include "platform/Recordset.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include <chrono>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

constexpr int kSound = 0;
constexpr int kDamaged = 1;
constexpr int kCannot = 2;
constexpr int kInterrupted = 130;

const char* const kUsage
    = "usage: quillmark check [--recover NEW.mdb]\n"
      "Reads every page of database.mdb and checks every index entry against its\n"
      "record (SQLite's integrity check), compares the file with the fingerprint\n"
      "taken when it was last found sound or written (bytes changed behind the\n"
      "program's back), and says whether the catalogue is sound.\n"
      "A catalogue found damaged is remembered so: Quillmark writes nothing to it\n"
      "until a check finds it sound again.\n"
      "--recover NEW.mdb copies every record that can still be read into a new\n"
      "catalogue database NEW.mdb, which must not exist yet.\n"
      "Exit status: 0 when the catalogue is sound (with --recover: when NEW.mdb was\n"
      "written); 1 when it is damaged; 2 for a usage error or a database that\n"
      "cannot be checked (missing, not a catalogue database) or recovered;\n"
      "130 when interrupted (nothing is written).\n";

// Progress for people: on a terminal only, about once a second.
class Ticker {
public:
    bool due()
    {
        const auto now = std::chrono::steady_clock::now();
        if (!onTerminal_ || now - last_ < std::chrono::seconds(1))
            return false;
        last_ = now;
        return true;
    }
    long long seconds() const
    {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    bool onTerminal_ = ::isatty(STDERR_FILENO) != 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

// Empty when `path` is a file that can be checked; otherwise why not.
QString cannotCheck(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("The catalogue database %1 does not exist.").arg(path);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 is not a file; name a catalogue database.").arg(path);
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        return QStringLiteral("The catalogue database %1 cannot be read: %2").arg(path, probe.errorString());
    if (probe.read(16) != QByteArray("SQLite format 3\0", 16))
        return QStringLiteral("%1 is not a catalogue database (not an SQLite 3 file).").arg(path);
    return {};
}

int check(const QString& store)
{
    std::unique_ptr<SQLite::Database> db;
    try {
        db = std::make_unique<SQLite::Database>(store.toStdString(), SQLite::OPEN_READONLY);
        db->setBusyTimeout(5000);
    } catch (const std::exception& e) {
        cli::fail(QStringLiteral("The catalogue database %1 cannot be opened: %2").arg(store, QString::fromUtf8(e.what())));
        return kCannot;
    }
    cli::InterruptGuard guard;
    auto verdict = std::async(std::launch::async, [&db] {
        return Store::damage(*db, Store::CheckDepth::Full, [] { return !cli::InterruptGuard::interrupted(); });
    });
    Ticker ticker;
    const QString size = QLocale::system().formattedDataSize(QFileInfo(store).size());
    bool interruptSent = false;
    while (verdict.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (cli::InterruptGuard::interrupted() && !interruptSent) {
            sqlite3_interrupt(db->getHandle());
            interruptSent = true;
        }
        if (ticker.due())
            cli::printLine(stderr,
                QStringLiteral("quillmark: checking %1 (%2), %3 s").arg(store, size, QString::number(ticker.seconds())));
    }
    try {
        const QString damage = verdict.get();
        if (!damage.isEmpty()) {
            cli::printLine(stdout, damage);
            return kDamaged;
        }
        cli::printLine(stdout, QStringLiteral("The catalogue database %1 is sound: every page, record and index entry was checked.").arg(store));
        return kSound;
    } catch (const Store::CheckStopped&) {
        cli::fail(QStringLiteral("interrupted; the check did not end."));
        return kInterrupted;
    } catch (const std::exception& e) {
        if (cli::InterruptGuard::interrupted()) {
            cli::fail(QStringLiteral("interrupted; the check did not end."));
            return kInterrupted;
        }
        cli::fail(QStringLiteral("The catalogue database %1 could not be checked: %2").arg(store, QString::fromUtf8(e.what())));
        return kCannot;
    }
}

int recoverInto(const QString& store, const QString& target)
{
    cli::InterruptGuard guard;
    Ticker ticker;
    Store::Recovered recovered;
    bool stopped = false;
    const QString error = Store::recover(store, target, recovered,
        [&ticker](long long rows) {
            if (ticker.due())
                cli::printLine(stderr, QStringLiteral("quillmark: %1 records copied").arg(rows));
            return !cli::InterruptGuard::interrupted();
        },
        &stopped);
    if (!error.isEmpty()) {
        cli::fail(error);
        return stopped ? kInterrupted : kCannot;
    }
    QStringList tables;
    long long records = 0;
    for (const auto& table : recovered.tables) {
        if (table.name == QLatin1String("main"))
            records = table.rows;
        QString line = table.name + QStringLiteral(" ") + QString::number(table.rows);
        if (table.unreadable)
            line += QStringLiteral(" (unreadable)");
        else if (table.damagedStretches > 0)
            line += QStringLiteral(" (%1 damaged stretch(es) skipped)").arg(table.damagedStretches);
        tables << line;
    }
    cli::printLine(stdout,
        QStringLiteral("Recovered %1 catalogue record(s) of %2 into %3; rows by table: ")
                .arg(QString::number(records), store, QFileInfo(target).absoluteFilePath())
            + tables.join(QStringLiteral(", ")) + u'.');
    return kSound;
}

} // namespace

int runCheckCommand(const QStringList& args)
{
    QString target;
    bool recover = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--recover")) {
            recover = true;
            target = args.value(++i);
        } else if (a.startsWith(QLatin1String("--recover="))) {
            recover = true;
            target = a.mid(10);
        } else {
            return cli::usageError(QStringLiteral("unknown argument %1.").arg(a), kUsage);
        }
    }
    if (recover && target.isEmpty())
        return cli::usageError(QStringLiteral("--recover needs the name of a new file."), kUsage);

    const QString store = QFileInfo(databasePath()).absoluteFilePath();
    if (const QString problem = cannotCheck(store); !problem.isEmpty()) {
        cli::fail(problem);
        return kCannot;
    }
    return recover ? recoverInto(store, target) : check(store);
}

} // namespace qm
