// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppPaths.h"
#include "cli/PathOptions.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

using namespace qm;

namespace {

// An argument vector as main() gets it, ending in a null pointer.
struct Arguments {
    explicit Arguments(std::vector<std::string> words) : words(std::move(words))
    {
        for (std::string& w : this->words)
            pointers.push_back(w.data());
        pointers.push_back(nullptr);
        count = static_cast<int>(this->words.size());
    }
    std::optional<int> take() { return takePathOptions(count, pointers.data()); }
    std::vector<std::string> left() const { return {pointers.begin(), pointers.begin() + count}; }

    std::vector<std::string> words;
    std::vector<char*> pointers;
    int count;
};

using PathOptions = qmtest::StoreTest;

} // namespace

TEST_F(PathOptions, AreTakenOutAnywhereBeforeADoubleDashAndNameTheFiles)
{
    Arguments args({"quillmark", "--database", "db/one.mdb", "add-folder", "--name-file=names/n", "/x", "--",
        "--database", "y"});
    EXPECT_EQ(args.take(), std::nullopt);
    EXPECT_EQ(args.left(), (std::vector<std::string> {"quillmark", "add-folder", "/x", "--", "--database", "y"}));
    EXPECT_EQ(args.pointers[args.count], nullptr);
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("db/one.mdb")));
    EXPECT_EQ(nameFilePath(), pathOf(QStringLiteral("names/n")));

    for (const char* incomplete : {"--name-file", "--database="}) {
        testing::internal::CaptureStderr();
        Arguments bad({"quillmark", incomplete});
        EXPECT_EQ(bad.take(), 2) << incomplete;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("needs a file name"), std::string::npos);
    }

    // The menu's launcher: the data folder is made and entered; a file named
    // with it is taken from where the program was started.
    Arguments launcher({"quillmark", "--in-data-folder", "--database", "mine.mdb"});
    EXPECT_EQ(launcher.take(), std::nullopt);
    EXPECT_EQ(launcher.left(), std::vector<std::string> {"quillmark"});
    EXPECT_EQ(QDir::currentPath(), pathOf(QStringLiteral("data/quillmark")));
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("mine.mdb")));
    setDatabaseFile({});
    EXPECT_EQ(databasePath(), pathOf(QStringLiteral("data/quillmark/database.mdb")));
}
