// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UDisks.h"

#include <gtest/gtest.h>

using namespace qm;

// Any name from the mount table makes a valid object path, never a way out
// of UDisks2's block devices.
TEST(UDisks, DeviceNamesBecomeTheObjectNamesUDisksGives)
{
    EXPECT_EQ(udisksObjectName("sdb1"), QStringLiteral("sdb1"));
    EXPECT_EQ(udisksObjectName("dm-0"), QStringLiteral("dm_2d0"));
    EXPECT_EQ(udisksObjectName("../x y"), QStringLiteral("_2e_2e_2fx_20y"));
    EXPECT_EQ(udisksObjectName("\xff"), QStringLiteral("_ff"));
    DiskIdentity disk;
    disk.label = QStringLiteral("KEPT");
    // Not a device: nothing asked, nothing changed.
    EXPECT_FALSE(askUDisks(QStringLiteral("tmpfs"), disk));
    EXPECT_EQ(disk.label, QStringLiteral("KEPT"));
    EXPECT_TRUE(disk.uuid.isEmpty());
}
