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
