// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <vector>

using namespace qm;

TEST(FileSystem, DateTextIsLocalTimeInOneFixedFormAndTheScansFormatterWritesTheSame)
{
    const QByteArray previous = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    auto setZone = [](const char* zone) {
        qputenv("TZ", zone);
        ::tzset();
    };
    setZone("UTC");
    EXPECT_EQ(dateText(1700000000), QStringLiteral("2023-11-14 22:13:20"));
    setZone("JST-9");
    EXPECT_EQ(dateText(1700000000), QStringLiteral("2023-11-15 07:13:20"));

    // Zones with a summer hour, a summer half hour and none; times around
    // their changes, far apart, and outside the years the formatter knows.
    for (const char* zone : {"Europe/Berlin", "Australia/Lord_Howe", "Asia/Kolkata", "UTC"}) {
        setZone(zone);
        std::vector<std::int64_t> times;
        for (const std::int64_t change : {1711846800LL, 1729990800LL, 1712419200LL, 1728144000LL})
            for (std::int64_t t = change - 7300; t < change + 7300; t += 59)
                times.push_back(t);
        for (std::int64_t t = -86400LL * 400; t < 4102444800LL; t += 86400LL * 37 + 3607)
            times.push_back(t);
        for (const std::int64_t t : {0LL, 50399LL, 50400LL, 253402300799LL, 253402300800LL, -62135596800LL})
            times.push_back(t);
        DateFormatter formatter;
        for (const std::int64_t t : times) {
            char expected[20], got[20];
            formatDate(t, expected);
            formatter.format(t, got);
            ASSERT_STREQ(got, expected) << zone << " " << t;
        }
    }
    if (hadTz)
        qputenv("TZ", previous);
    else
        qunsetenv("TZ");
    ::tzset();
}
