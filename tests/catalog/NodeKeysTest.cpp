// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/NodeKeys.h"
#include "platform/Clipboard.h"
#include "platform/TreeView.h"

#include <gtest/gtest.h>

using namespace qm;

namespace {
// The next key of a tree of the root and nodes given as (parent, key) pairs.
QString nextKeyOf(std::initializer_list<std::pair<const char*, const char*>> parentAndKey)
{
    NodeModel nodes;
    nodes.Add({}, kRootKey, QStringLiteral("root"));
    for (const auto& [parent, key] : parentAndKey)
        nodes.Add(QString::fromLatin1(parent), QString::fromLatin1(key), QStringLiteral("n"));
    return nextNodeKey(nodes);
}
} // namespace

TEST(NodeKeys, NextNodeKeyIsOneMoreThanTheHighestKey)
{
    EXPECT_EQ(nextNodeKey(NodeModel()), QStringLiteral("1>")); // empty tree
    EXPECT_EQ(nextKeyOf({}), QStringLiteral("1>")); // root only
    // A database node's key carries the number text's blank.
    EXPECT_EQ(nextKeyOf({{"0>", "1>"}, {"0>", "2>"}, {"0>", " 57>"}}), QStringLiteral("58>"));
    EXPECT_EQ(nextKeyOf({{"0>", "5>"}, {"5>", "9>"}, {"5>", "7>"}}),
        QStringLiteral("10>")); // node 2 not the highest
    // Past the old 16-bit limit keys keep rising; a key beyond any number gives the error answer.
    EXPECT_EQ(nextKeyOf({{"0>", "32767>"}}), QStringLiteral("32768>"));
    EXPECT_EQ(nextKeyOf({{"0>", "32767>"}, {"0>", "9000000000>"}}), QStringLiteral("9000000001>"));
    EXPECT_EQ(nextKeyOf({{"0>", "99999999999999999999>"}}), QStringLiteral("1>"));

    NodeModel cleared;
    cleared.Add({}, kRootKey, QStringLiteral("root"));
    cleared.Add(kRootKey, QStringLiteral("4>"), QStringLiteral("a"));
    cleared.Clear();
    EXPECT_EQ(nextNodeKey(cleared), QStringLiteral("1>"));
}

TEST(NodeKeys, KeysAreUniqueTextsWhateverTheirNumbers)
{
    // Near and far numbers, and texts that read as the same number, are kept
    // apart exactly; a key is refused only when the same text comes again.
    NodeModel nodes;
    nodes.Add({}, kRootKey, QStringLiteral("root"));
    for (const char* key : {"3>", "9000000000>", "07>", "7>", " 7>", "x>"})
        nodes.Add(kRootKey, QString::fromLatin1(key), QString::fromLatin1(key));
    for (const char* key : {"3>", "9000000000>", "07>", "7>", " 7>", "x>", "0>"}) {
        ASSERT_NE(nodes.find(QString::fromLatin1(key)), nullptr) << key;
        EXPECT_THROW(nodes.Add(kRootKey, QString::fromLatin1(key), QStringLiteral("again")), TreeError) << key;
    }
    EXPECT_EQ(nodes.find(QStringLiteral("4>")), nullptr);
    EXPECT_THROW(nodes.Add(QStringLiteral("8>"), QStringLiteral("8>"), QStringLiteral("orphan")), TreeError);
    EXPECT_EQ(nodes.Count(), 7);
}

TEST(NodeKeys, RowCounterReadsTheClipboard)
{
    // Empty or not a number counts from 1; no 16-bit overflow; reading does not write.
    MemoryClipboard clip;
    for (const auto& [text, next] : {std::pair {"", 1}, {"abc", 1}, {" 7", 8}, {"32767", 32768}}) {
        clip.SetText(QString::fromLatin1(text));
        EXPECT_EQ(rowCounterNext(clip), next) << text;
        EXPECT_EQ(clip.GetText(), QString::fromLatin1(text));
    }
    clip.SetText(QStringLiteral("9223372036854775807"));
    EXPECT_THROW(rowCounterNext(clip), std::overflow_error);
}
