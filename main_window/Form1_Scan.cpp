// "Add Folder": the folder scan.
#include "main_window/Form1.h"

namespace qm {

void Form1::Command2_Click() {}

void Form1::RecurseFiles2(const QString&, const QString&, const QString&) {}

} // namespace qm
