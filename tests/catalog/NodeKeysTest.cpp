#include "catalog/NodeKeys.h"
#include "platform/Clipboard.h"
#include "platform/TreeView.h"

#include <gtest/gtest.h>

using namespace qm;

namespace {
// A tree of the root and nodes given as "parent key" pairs.
void grow(NodeModel& nodes, std::initializer_list<std::pair<const char*, const char*>> parentAndKey)
{
    nodes.Add({}, kRootKey, QStringLiteral("root"));
    for (const auto& [parent, key] : parentAndKey)
        nodes.Add(QString::fromLatin1(parent), QString::fromLatin1(key), QStringLiteral("n"));
}
} // namespace

TEST(NodeKeys, NextNodeKeyIsOneMoreThanTheHighestKey)
{
    NodeModel nodes;
    EXPECT_EQ(nextNodeKey(nodes), QStringLiteral("1>")); // empty tree
    grow(nodes, {});
    EXPECT_EQ(nextNodeKey(nodes), QStringLiteral("1>")); // root only

    NodeModel database; // a database node's key carries the number text's blank
    grow(database, {{"0>", "1>"}, {"0>", "2>"}, {"0>", " 57>"}});
    EXPECT_EQ(nextNodeKey(database), QStringLiteral("58>"));

    NodeModel seeded; // node 2 is not the highest
    grow(seeded, {{"0>", "5>"}, {"5>", "9>"}, {"5>", "7>"}});
    EXPECT_EQ(nextNodeKey(seeded), QStringLiteral("10>"));

    NodeModel large; // past the old 16-bit limit keys keep rising
    grow(large, {{"0>", "32767>"}});
    EXPECT_EQ(nextNodeKey(large), QStringLiteral("32768>"));
    large.Add(kRootKey, QStringLiteral("9000000000>"), QStringLiteral("b"));
    EXPECT_EQ(nextNodeKey(large), QStringLiteral("9000000001>"));

    NodeModel broken; // a key beyond any number gives the error answer
    grow(broken, {{"0>", "99999999999999999999>"}});
    EXPECT_EQ(nextNodeKey(broken), QStringLiteral("1>"));
}

TEST(NodeKeys, RowCounterReadsTheClipboard)
{
    MemoryClipboard clip;
    EXPECT_EQ(rowCounterNext(clip), 1); // empty
    clip.SetText(QStringLiteral("abc"));
    EXPECT_EQ(rowCounterNext(clip), 1);
    clip.SetText(QStringLiteral(" 7"));
    EXPECT_EQ(rowCounterNext(clip), 8);
    EXPECT_EQ(clip.GetText(), QStringLiteral(" 7")); // reading does not write
    clip.SetText(QStringLiteral("32767"));
    EXPECT_EQ(rowCounterNext(clip), 32768); // no 16-bit overflow
    clip.SetText(QStringLiteral("9223372036854775807"));
    EXPECT_THROW(rowCounterNext(clip), std::overflow_error);
}
