// Choosing a register for the selected node.
#include "main_window/Form1.h"

namespace qm {

void Form1::Project_Click() {}
void Form1::Multimedia_Click() {}
void Form1::Document_Click() {}
void Form1::InstallNUpdate_Click() {}
void Form1::Check1_Click() {}
void Form1::Check2_Click() {}
void Form1::Check3_Click() {}
void Form1::Check4_Click() {}
void Form1::Command6_Click() {}

} // namespace qm
