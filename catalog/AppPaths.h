#pragma once
#include <QString>

namespace qm {

// The folder of the executable, where dbase.name lives. Tests point it at a
// temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// database.mdb in the current folder, as an absolute path.
QString databasePath();

inline constexpr const char* kApplicationTitle = "Quillmark";

} // namespace qm
