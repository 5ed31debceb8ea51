// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Csv.h"

namespace qm {

QString csvField(const QString& value)
{
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n')
        && !value.contains(u'\r'))
        return value;
    QString s = value;
    s.replace(u'"', QStringLiteral("\"\""));
    return u'"' + s + u'"';
}

QString csvLine(const QStringList& values)
{
    QStringList cells;
    cells.reserve(values.size());
    for (const QString& v : values)
        cells << csvField(v);
    return cells.join(u',') + QStringLiteral("\r\n");
}

} // namespace qm
