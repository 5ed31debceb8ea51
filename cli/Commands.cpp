// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include "catalog/store/Store.h"
#include "cli/Check.h"
#include "cli/Diff.h"
#include "cli/Dupes.h"
#include "cli/Disks.h"
#include "cli/Export.h"
#include "cli/Find.h"
#include "cli/List.h"
#include "cli/Verify.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <span>

namespace qm::cli {
namespace {

constexpr int kUsage = 2;

int help(const QStringList&);

int version(const QStringList&)
{
    std::printf("quillmark %s\n", QUILLMARK_VERSION);
    return 0;
}

int createStoreIfMissing(const QStringList& args)
{
    if (args.size() != 1) {
        std::fputs("usage: quillmark --create-store-if-missing PATH\n", stderr);
        return kUsage;
    }
    if (Store::problemWith(args[0]).isEmpty())
        return 0;
    const QString error = Store::create(args[0]);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

const Command kCommands[] = {
    {"add-folder", "FOLDER [--name CATALOGUE] [--archives] [--fingerprints] [--media] [--thumbnails]", "catalogue FOLDER into database.mdb without a window",
        nullptr},
    {"update", "CATALOGUE TOP-FOLDER-KEY-OR-PATH [--force] [--archives] [--fingerprints] [--media] [--thumbnails]",
        "bring a catalogued folder up to date in place, keeping its keys and notes", nullptr},
    {"list", "[--catalogue NAME]", "the catalogues and, for each scan, its disk, date, records and size",
        runListCommand},
    {"disks", "[--csv] | --set-location SCAN TEXT | --set-note SCAN TEXT",
        "every scan's disk, whether it is connected now, and where it is kept", runDisksCommand},
    {"find", "QUERY [--catalogue NAME] [--limit N] [--csv] [--case-sensitive] | --reindex",
        "find files and folders on every catalogued disk", runFindCommand},
    {"dupes", "[--catalogue NAME]... [--min-size SIZE] [--csv]",
        "files with copies on any catalogued disk, by content fingerprint", runDupesCommand},
    {"diff", "CATALOGUE-A TOP-A CATALOGUE-B TOP-B [--csv]",
        "compare two scans by relative path: only in one, differing, moved", runDiffCommand},
    {"verify", "CATALOGUE TOP [--csv]",
        "read a mounted disk again and check it against its scan; changes nothing", runVerifyCommand},
    {"export", "CATALOGUE [--format csv|json] [--output FILE]",
        "write every record of a catalogue as CSV or JSON lines", runExportCommand},
    {"check", "[--recover NEW.mdb]",
        "check every page and index of database.mdb; copy what can be read into NEW.mdb", runCheckCommand},
    {"--create-store-if-missing", "PATH", "make an empty catalogue database at PATH unless one is there",
        createStoreIfMissing},
    {"--version", "", "print the version", version},
    {"--help", "", "list the commands (also -h and help)", help},
};

int help(const QStringList&)
{
    std::puts("usage: quillmark [COMMAND [ARGUMENTS]]\n"
              "Without a command Quillmark opens its main window.\n\n"
              "Commands:");
    for (const Command& c : kCommands) {
        const QString synopsis
            = QStringLiteral("%1 %2").arg(QLatin1String(c.name), QLatin1String(c.arguments));
        std::printf("  %-40s %s\n", qPrintable(synopsis.trimmed()), c.summary);
    }
    std::puts(qPrintable(searchIndexLine()));
    return 0;
}

// The options the window's toolkit takes (-platform, -style, -geometry …).
bool isWindowOption(const char* word)
{
    static const char* const options[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
        "qwindowgeometry", "qwindowicon", "qwindowtitle", "reverse", "session", "style", "stylesheet",
        "widgetcount", "display", "geometry", "name", "title", "visual", "nograb", "dograb", "sync"};
    const char* name = word + (word[1] == '-' ? 2 : 1);
    for (const char* option : options)
        if (std::strcmp(name, option) == 0)
            return true;
    return false;
}

const Command* find(const char* word)
{
    if (std::strcmp(word, "-h") == 0 || std::strcmp(word, "help") == 0)
        word = "--help";
    for (const Command& c : std::span(kCommands))
        if (std::strcmp(word, c.name) == 0)
            return &c;
    return nullptr;
}

} // namespace

bool readsContents(int argc, char** argv)
{
    const Command* command = argc < 2 ? nullptr : find(argv[1]);
    return command && !command->run;
}

std::optional<int> run(int argc, char** argv, std::span<const ContentCommand> content)
{
    if (argc < 2)
        return std::nullopt;
    const Command* command = find(argv[1]);
    if (!command) {
        if (argv[1][0] == '-' && isWindowOption(argv[1]))
            return std::nullopt;
        std::fprintf(
            stderr, "quillmark: unknown command \"%s\"; \"quillmark --help\" lists the commands.\n", argv[1]);
        return kUsage;
    }
    Runner runner = command->run;
    for (const ContentCommand& c : content)
        if (!runner && std::strcmp(c.name, command->name) == 0)
            runner = c.run;
    if (!runner) {
        std::fprintf(stderr, "quillmark: this program cannot run \"%s\"; run it as \"quillmark %s\".\n",
            command->name, command->name);
        return 1;
    }
    // Commands need no display: the core application only.
    QCoreApplication app(argc, argv);
    return runner(QCoreApplication::arguments().mid(2));
}

} // namespace qm::cli
