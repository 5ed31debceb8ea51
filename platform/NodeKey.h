// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a node key counts as, for the tree and for the tree check alike.
#include <QString>

#include <cstdint>
#include <optional>

namespace qm {

// The number of a key in the form the scan makes ("123>": digits without a
// leading zero, then ">"); -1 for any other key.
std::int64_t canonicalKeyNumber(const QString& key);

// The value a key counts with towards the highest key: the number of a "123>"
// key, otherwise its numeric value rounded; none when that does not fit.
std::optional<std::int64_t> nodeKeyValue(const QString& key);

} // namespace qm
