#include "catalog/NodeKeys.h"
#include "platform/Clipboard.h"
#include "platform/TreeView.h"

#include <gtest/gtest.h>

using namespace qm;

TEST(NodeKeys, NextNodeKeyIsOneMoreThanTheHighestKey)
{
    NodeModel nodes;
    EXPECT_EQ(nextNodeKey(nodes), QStringLiteral("1>")); // empty tree
    nodes.Add({}, kRootKey, QStringLiteral("root"));
    EXPECT_EQ(nextNodeKey(nodes), QStringLiteral("1>")); // root only

    nodes.Add(kRootKey, QStringLiteral("1>"), QStringLiteral("a"));
    nodes.Add(kRootKey, QStringLiteral("2>"), QStringLiteral("b"));
    nodes.Add(kRootKey, QStringLiteral(" 57>"), QStringLiteral("database node"));
    EXPECT_EQ(nextNodeKey(nodes), QStringLiteral("58>"));

    NodeModel seeded; // node 2 only seeds the search
    seeded.Add({}, kRootKey, QStringLiteral("root"));
    seeded.Add(kRootKey, QStringLiteral("5>"), QStringLiteral("a"));
    seeded.Add(QStringLiteral("5>"), QStringLiteral("9>"), QStringLiteral("b"));
    seeded.Add(QStringLiteral("5>"), QStringLiteral("7>"), QStringLiteral("c"));
    EXPECT_EQ(nextNodeKey(seeded), QStringLiteral("10>"));

    NodeModel large; // past the old 16-bit limit keys keep rising
    large.Add({}, kRootKey, QStringLiteral("root"));
    large.Add(kRootKey, QStringLiteral("32767>"), QStringLiteral("a"));
    EXPECT_EQ(nextNodeKey(large), QStringLiteral("32768>"));
    large.Add(kRootKey, QStringLiteral("9000000000>"), QStringLiteral("b"));
    EXPECT_EQ(nextNodeKey(large), QStringLiteral("9000000001>"));

    NodeModel broken; // a key beyond any number gives the error answer
    broken.Add({}, kRootKey, QStringLiteral("root"));
    broken.Add(kRootKey, QStringLiteral("99999999999999999999>"), QStringLiteral("a"));
    EXPECT_EQ(nextNodeKey(broken), QStringLiteral("1>"));

    nodes.Clear();
    EXPECT_EQ(nextNodeKey(nodes), QStringLiteral("1>"));
}

TEST(NodeKeys, TreeRefusesDuplicateKeysAndUnknownParents)
{
    NodeModel nodes;
    nodes.Add({}, kRootKey, QStringLiteral("root"));
    nodes.Add(kRootKey, QStringLiteral("1>"), QStringLiteral("a"));
    EXPECT_THROW(nodes.Add(kRootKey, QStringLiteral("1>"), QStringLiteral("again")), TreeError);
    EXPECT_THROW(nodes.Add(QStringLiteral("8>"), QStringLiteral("2>"), QStringLiteral("orphan")), TreeError);
    EXPECT_EQ(nodes.Count(), 2);
    EXPECT_EQ(nodes.Item(2)->Text, QStringLiteral("a"));
    EXPECT_EQ(nodes.Item(2)->Parent, nodes.Item(1));
    EXPECT_EQ(nodes.Item(3), nullptr);
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
