// SPDX-License-Identifier: GPL-3.0-or-later
// The node keys that come from the window's tree and clipboard; apart from
// NodeKeys.cpp so that the command line links without widgets.
#include "catalog/NodeKeys.h"

#include "platform/Clipboard.h"
#include "platform/Numbers.h"
#include "platform/TreeView.h"

#include <limits>
#include <stdexcept>

namespace qm {

QString nextNodeKey(const NodeModel& nodes)
{
    if (nodes.Count() < 2 || !nodes.keysFit())
        return QStringLiteral("1>");
    const std::int64_t highest = nodes.highestKeyValue();
    if (highest == std::numeric_limits<std::int64_t>::max())
        return QStringLiteral("1>");
    return keyOf(highest + 1);
}

std::int64_t rowCounterNext(const Clipboard& clipboard)
{
    const auto value = roundToInt64(numericValue(clipboard.GetText()));
    if (!value || *value == std::numeric_limits<std::int64_t>::max())
        throw std::overflow_error("Overflow");
    return *value + 1;
}

} // namespace qm
