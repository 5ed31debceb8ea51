#pragma once
#include <QStringList>

namespace qm {

// quillmark update CATALOGUE TOP-FOLDER-KEY-OR-PATH [--force]
int runUpdateCommand(const QStringList& args);

} // namespace qm
