// SPDX-License-Identifier: GPL-3.0-or-later
// User names that look like message placeholders, through the real program.
#include "ProgramTest.h"
#include "support/TestSupport.h"

namespace {

using qmtest::Outcome;

class NamesInMessages : public qmtest::ProgramTest {};

} // namespace

TEST_F(NamesInMessages, NamesThatLookLikePlaceholdersAreShownExactly)
{
    makeFile(QStringLiteral("dir%1x/a.txt"), 1);
    makeFile(QStringLiteral("dir%1x/b%2.txt"), 2);
    const Outcome add = quillmark({QStringLiteral("add-folder"), QStringLiteral("dir%1x"),
        QStringLiteral("--name"), QStringLiteral("Cat%2")});
    EXPECT_EQ(add.status, 0) << add.err.toStdString();
    EXPECT_EQ(add.out,
        QStringLiteral("Added ") + pathOf(QStringLiteral("dir%1x"))
            + QStringLiteral(" into \"Cat%2\": 3 record(s), top-level key 1>, 0 entries were skipped.\n"));
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Cat%2'")), 3);

    const Outcome list = quillmark({QStringLiteral("list")});
    EXPECT_TRUE(list.out.startsWith(QStringLiteral("Catalogue \"Cat%2\": 1 scan(s), 3 records")))
        << list.out.toStdString();
    EXPECT_TRUE(list.out.contains(pathOf(QStringLiteral("dir%1x")) + QStringLiteral("  [key 1>]")))
        << list.out.toStdString();
    const Outcome update
        = quillmark({QStringLiteral("update"), QStringLiteral("Cat%2"), pathOf(QStringLiteral("dir%1x"))});
    EXPECT_TRUE(update.out.startsWith(QStringLiteral("Updated ") + pathOf(QStringLiteral("dir%1x"))
        + QStringLiteral(" in \"Cat%2\": 0 added")))
        << update.out.toStdString() << update.err.toStdString();
}
