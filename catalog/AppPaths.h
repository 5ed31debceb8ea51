#pragma once
// Where the program's files are. A portable copy keeps dbase.name beside the
// executable and opens database.mdb in the current folder; an installed copy,
// whose folder it cannot write to, keeps dbase.name in the user's
// configuration folder. --database and --name-file name either file outright.
#include <QString>

namespace qm {

// The folder of the executable. Tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// The user's own folders for Quillmark, after the XDG rules: ~/.config/quillmark
// and ~/.local/share/quillmark unless XDG_CONFIG_HOME or XDG_DATA_HOME say
// otherwise. The menu launcher starts the program in the data folder.
QString configFolder();
QString dataFolder();

// Whether a file can be made in `folder`, found by making one and removing it
// again: that is what a writer of dbase.name needs, and no permission check
// answers it for every file system and every user.
bool canCreateFilesIn(const QString& folder);

// dbase.name: the file set by setNameFile; otherwise the one in the program
// folder when files can be made there, otherwise the one in configFolder().
QString nameFilePath();

// database.mdb: the file set by setDatabaseFile; otherwise database.mdb in the
// current folder. Absolute.
QString databasePath();

// Name the files outright (--name-file, --database); an empty path takes the
// default again. A relative path is taken from the current folder now.
void setNameFile(const QString& file);
void setDatabaseFile(const QString& file);

inline constexpr const char* kApplicationTitle = "Quillmark";

} // namespace qm
