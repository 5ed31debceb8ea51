// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DiskIdentity.h"
#include "support/TestSupport.h"

using namespace qm;

namespace {
using DiskIdentityTest = qmtest::StoreTest;
}

// A mounted volume's identity is checked with the scans that record it (ScansTest).
TEST_F(DiskIdentityTest, DiskOfAFolder)
{
    const DiskIdentity here = diskOf(folder());
    ASSERT_TRUE(here.known());
    EXPECT_TRUE(folder().startsWith(here.mountPoint)) << here.mountPoint.toStdString();
    EXPECT_FALSE(here.fsType.isEmpty());
    EXPECT_GT(here.totalBytes, 0);
    EXPECT_TRUE(here.freeBytes >= 0 && here.freeBytes <= here.totalBytes);
    EXPECT_FALSE(diskOf(pathOf(QStringLiteral("missing"))).known());
}

TEST_F(DiskIdentityTest, AMountPointIsToldByDeviceAndByTheMountTable)
{
    EXPECT_TRUE(isMountPoint(QStringLiteral("/")));
    const QString plain = makeDir(QStringLiteral("plain"));
    EXPECT_FALSE(isMountPoint(plain));
    EXPECT_FALSE(isMountPoint(makeFile(QStringLiteral("file.txt"), 1)));
    EXPECT_FALSE(isMountPoint(pathOf(QStringLiteral("missing"))));

    // A folder bound onto another of the same file system: same device, still a mount point.
    const QString bound = makeDir(QStringLiteral("bound"));
    const qmtest::Outcome bind = qmtest::runProgram(QStringLiteral("mount"), {QStringLiteral("--bind"), plain, bound});
    if (bind.status != 0)
        GTEST_SKIP() << "no bind mount here: " << bind.err.toStdString();
    EXPECT_TRUE(isMountPoint(bound));
    EXPECT_TRUE(isMountPoint(bound + u'/'));
    EXPECT_FALSE(isMountPoint(plain));
    EXPECT_EQ(diskOf(bound).mountPoint, bound);
    EXPECT_EQ(qmtest::runProgram(QStringLiteral("umount"), {bound}).status, 0);
    EXPECT_FALSE(isMountPoint(bound));
}
