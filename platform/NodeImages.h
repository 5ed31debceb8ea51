// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPixmap>

namespace qm {
// The three 32 by 32 pictures of the tree's image list: 1 an open folder in
// light blue, 2 a document page with a four-colour window emblem, 3 the open
// folder in a darker blue. Drawn, not loaded, so nothing can go missing.
QPixmap nodeImage(int index);
} // namespace qm
