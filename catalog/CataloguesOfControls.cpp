// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue names through a window's data control; apart from
// Catalogues.cpp so that the command line links without widgets.
#include "catalog/Catalogues.h"

#include "platform/DataControl.h"

namespace qm {

QStringList catalogueNamesOf(const DataControl& control)
{
    try {
        if (auto db = control.connection())
            return catalogueNames(*db);
    } catch (const std::exception&) {
    }
    return {};
}

} // namespace qm
