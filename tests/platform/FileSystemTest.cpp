#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace qm;

TEST(FileSystem, DateTextIsLocalTimeInOneFixedForm)
{
    const QByteArray previous = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "UTC");
    ::tzset();
    EXPECT_EQ(dateText(1700000000), QStringLiteral("2023-11-14 22:13:20"));
    qputenv("TZ", "JST-9");
    ::tzset();
    EXPECT_EQ(dateText(1700000000), QStringLiteral("2023-11-15 07:13:20"));
    if (hadTz)
        qputenv("TZ", previous);
    else
        qunsetenv("TZ");
    ::tzset();
}
