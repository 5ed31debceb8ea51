// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PathOptions.h"

#include "platform/AppPaths.h"
#include "platform/PlainFile.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace qm {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The value of `option` at argv[i]: the rest of "--option=VALUE" or the next
// argument, which is then used up too. Empty when argv[i] is another word.
std::optional<QString> valueOf(std::string_view option, int argc, char** argv, int& i)
{
    const std::string_view word = argv[i];
    if (word.size() > option.size() && word.starts_with(option) && word[option.size()] == '=')
        return QFile::decodeName(argv[i] + option.size() + 1);
    if (word != option)
        return std::nullopt;
    if (i + 1 >= argc || argv[i + 1][0] == '\0')
        return QString(); // told by the caller
    return QFile::decodeName(argv[++i]);
}

} // namespace

std::optional<int> takePathOptions(int& argc, char** argv)
{
    QString database;
    QString nameFile;
    bool inDataFolder = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            while (i < argc)
                argv[kept++] = argv[i++];
            break;
        }
        const std::string_view option = argv[i];
        std::optional<QString> value;
        if ((value = valueOf("--database", argc, argv, i)))
            database = *value;
        else if ((value = valueOf("--name-file", argc, argv, i)))
            nameFile = *value;
        else if (option == "--in-data-folder")
            inDataFolder = true;
        else
            argv[kept++] = argv[i];
        if (value && value->isEmpty()) {
            std::fprintf(stderr, "quillmark: %.*s needs a file name.\n", static_cast<int>(option.size()),
                option.data());
            return kUsage;
        }
    }
    argc = kept;
    argv[argc] = nullptr;

    // Named files are taken from the folder the program was started in. A
    // FIFO, a device or a folder is refused before anything opens it: an
    // open could wait for ever, or read a disk as a catalogue.
    for (const auto& [given, what] :
        {std::pair {database, "catalogue database"}, std::pair {nameFile, "catalogue name file"}}) {
        if (given.isEmpty())
            continue;
        if (const QString kind = notAPlainFile(given); !kind.isEmpty()) {
            std::fprintf(stderr, "quillmark: the %s %s cannot be used: %s; nothing was opened.\n", what,
                QFile::encodeName(QFileInfo(given).absoluteFilePath()).constData(), qPrintable(kind));
            return kFailed;
        }
    }
    if (!database.isEmpty())
        setDatabaseFile(database);
    if (!nameFile.isEmpty())
        setNameFile(nameFile);
    if (inDataFolder) {
        const QString folder = dataFolder();
        // Without it the program stays where it was started; the main
        // window names the database.mdb it then looks for.
        if (folder.isEmpty())
            std::fprintf(stderr, "quillmark: the data folder has no place: %s; nothing was made.\n",
                qPrintable(noHomeFolderText()));
        else if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
            std::fprintf(stderr, "quillmark: the data folder %s cannot be made or entered.\n",
                qPrintable(QDir::toNativeSeparators(folder)));
    }
    return std::nullopt;
}

} // namespace qm
