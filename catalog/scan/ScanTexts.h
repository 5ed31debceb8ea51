// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts a scan tells people, shared by the scan and the update.
#include "catalog/scan/ScanBatch.h"

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

namespace qm {

// One message naming how many entries were left out and the first few; empty
// when none was.
QString skippedReport(std::int64_t count, const std::vector<SkippedEntry>& first);

// A path for people: bytes that are not UTF-8 appear as \xNN.
QString displayPath(std::string_view bytes);

} // namespace qm
