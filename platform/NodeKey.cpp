// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NodeKey.h"

#include "platform/Numbers.h"

namespace qm {

std::int64_t canonicalKeyNumber(const QString& key)
{
    const qsizetype n = key.size();
    if (n < 2 || n > 18 || key.at(n - 1) != u'>' || (key.at(0) == u'0' && n > 2))
        return -1;
    std::int64_t v = 0;
    for (qsizetype i = 0; i < n - 1; ++i) {
        const char16_t c = key.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

std::optional<std::int64_t> nodeKeyValue(const QString& key)
{
    const std::int64_t number = canonicalKeyNumber(key);
    return number >= 0 ? std::optional<std::int64_t>(number) : roundToInt64(numericValue(key));
}

} // namespace qm
