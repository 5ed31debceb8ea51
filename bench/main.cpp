// SPDX-License-Identifier: GPL-3.0-or-later
#include "Bench.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace qmbench {
std::vector<Case>& cases()
{
    static std::vector<Case> all;
    return all;
}
} // namespace qmbench

int main(int argc, char** argv)
{
    // With TZ unset the C library looks the zone file up again at every
    // local-time conversion (twice for each member of a zip); naming that
    // same file lets it keep what it read. Before any thread starts.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    qmbench::Options options;
    QStringList wanted;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--entries") == 0 && i + 1 < argc)
            options.entries = std::atoll(argv[++i]);
        else
            wanted << QString::fromLocal8Bit(argv[i]);
    }
    int ran = 0;
    for (const auto& c : qmbench::cases()) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(c.name)))
            continue;
        QTemporaryDir dir;
        options.workFolder = dir.path();
        std::printf("== %s ==\n", c.name);
        std::fflush(stdout);
        c.run(options);
        ++ran;
    }
    if (ran == 0)
        std::fprintf(stderr, "no benchmark case matched\n");
    return ran == 0 ? 1 : 0;
}
