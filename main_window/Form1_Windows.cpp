// The menu items that open the secondary windows.
#include "main_window/Form1.h"

namespace qm {

void Form1::Tree_Click() {}
void Form1::Report_Click() {}
void Form1::About_Click() {}
void Form1::setupSecondaryWindows() {}

} // namespace qm
