// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the program's files are. A portable copy (the build folder, or a copy
// unpacked anywhere) keeps dbase.name beside the executable and opens
// database.mdb in the current folder. An installed copy is told by where it
// is: its executable sits in the bin/ folder of an install prefix, beside
// that prefix's share/ (/usr/bin, /usr/local/bin, ~/.local/bin). It never
// writes into its program folder, whoever runs it: dbase.name is kept in the
// user's configuration folder, and when the current folder holds no
// database.mdb the catalogue in the user's data folder is used, the one the
// menu entry starts with. --database and --name-file name either file
// outright.
#include <QString>

namespace qm {

// The folder of the executable. Tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// Whether programFolder() is the bin/ folder of an install prefix: a folder
// named "bin" whose parent holds a "share" folder; or the folder
// libexec/quillmark of one, where the window program is installed.
bool isInstalledCopy();

// The user's own folders for Quillmark, after the XDG rules: ~/.config/quillmark
// and ~/.local/share/quillmark unless an absolute XDG_CONFIG_HOME or
// XDG_DATA_HOME says otherwise. Empty when no home folder is known
// (UserFolders.h): nothing is then kept there. The menu launcher starts the
// program in the data folder.
QString configFolder();
QString dataFolder();

// Whether a file can be made in `folder`, found by making one and removing it
// again: that is what a writer of dbase.name needs, and no permission check
// answers it for every file system and every user.
bool canCreateFilesIn(const QString& folder);

// dbase.name: the file set by setNameFile; for a portable copy the one in the
// program folder when files can be made there; otherwise the one in
// configFolder(). Empty when that folder is unknown.
QString nameFilePath();

// database.mdb: the file set by setDatabaseFile; otherwise database.mdb in the
// current folder when there is one (of any kind: what is wrong with it is
// told when it is opened); otherwise, for an installed copy, the one in
// dataFolder(), made on the first add-folder; otherwise the current folder's.
// Absolute.
QString databasePath();
// Whether databasePath() is the data folder's catalogue, taken because the
// current folder holds none.
bool databaseIsTheDataFolders();

// Name the files outright (--name-file, --database); an empty path takes the
// default again. A relative path is taken from the current folder now.
void setNameFile(const QString& file);
void setDatabaseFile(const QString& file);

inline constexpr const char* kApplicationTitle = "Quillmark";

} // namespace qm
