// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/NodeKeys.h"

namespace qm {

QString keyOf(std::int64_t number) { return QString::number(number) + u'>'; }

} // namespace qm
