// SPDX-License-Identifier: GPL-3.0-or-later
#include "FindSupport.h"

#include "cli/Find.h"
#include "find/Folding.h"

#include <fcntl.h>
#include <unistd.h>

using namespace qm::find;
using L = QStringList;

namespace {

// UTF-8 bytes as a QString, without any normalisation on the way.
QString u8(const char* bytes)
{
    return QString::fromUtf8(bytes);
}

// Names of the scanned folder that several cases find.
const QString kStrasse = u8("Stra\xc3\x9f" "e.txt");
const QString kGrosse = u8("GRO\xe1\xba\x9e" "E.txt"); // capital ẞ
const QString kFile = u8("\xef\xac\x81le.txt"); // the ligature ﬁ
const QString kResume = u8("Re\xcc\x81sume\xcc\x81.pdf"); // decomposed, with a capital
const L kCafes {u8("cafe\xcc\x81 bill.txt"), u8("caf\xc3\xa9 menu.txt")}; // sorted: "e" before "é"

} // namespace

class FoldTest : public FindTest {
protected:
    // Files whose names are written to the disk byte for byte: some systems
    // store an accent as a letter and a combining mark, others composed.
    void scanNamesOfManyForms()
    {
        makeFile(QStringLiteral("mixed/plain.txt"), 10);
        for (const char* name : {"caf\xc3\xa9 menu.txt", // composed é
                 "cafe\xcc\x81 bill.txt", // e + combining acute
                 "Re\xcc\x81sume\xcc\x81.pdf", // decomposed, with a capital
                 "Stra\xc3\x9f"
                 "e.txt",
                 "STRASSE plan.txt",
                 "GRO\xe1\xba\x9e"
                 "E.txt", // ß, SS, capital ẞ
                 "\xef\xac\x81le.txt", // the ligature ﬁ
                 "o\xef\xac\x83"
                 "ce.doc", // the ligature ﬃ
                 "\xc5\x93uvre.txt", "oeuvre.txt"}) { // œ and oe
            const QByteArray path = QFile::encodeName(pathOf(QStringLiteral("mixed/"))) + name;
            const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            ASSERT_GE(fd, 0) << path.constData();
            ::close(fd);
        }
        scan(QStringLiteral("mixed"), QStringLiteral("Mixed"));
        // The store keeps each name in the form the disk gave.
        ASSERT_EQ(count(QStringLiteral("file_name = CAST(x'63616665cc812062696c6c2e747874' AS TEXT)")), 1);
    }
};

TEST_F(FoldTest, WithoutCaseEveryFormOfANameIsFoundAlike)
{
    scanNamesOfManyForms();
    // Composed and decomposed accents, in the query or the name, in any case.
    EXPECT_EQ(found(u8("caf\xc3\xa9")), kCafes);
    EXPECT_EQ(found(u8("cafe\xcc\x81")), kCafes);
    EXPECT_EQ(found(u8("CAF\xc3\x89")), kCafes);
    EXPECT_EQ(found(u8("r\xc3\xa9sum\xc3\xa9")), L {kResume});
    // An accent still counts: "cafe" is not "café".
    EXPECT_EQ(found(QStringLiteral("cafe")), L {});
    // ß, ẞ and ss are one; so are a ligature and its letters.
    const L strasse {u8("STRASSE plan.txt"), kStrasse};
    EXPECT_EQ(found(QStringLiteral("strasse")), strasse);
    EXPECT_EQ(found(u8("STRA\xc3\x9f" "E")), strasse);
    EXPECT_EQ(found(u8("gro\xc3\x9f")), L {kGrosse});
    EXPECT_EQ(found(QStringLiteral("grosse")), L {kGrosse});
    EXPECT_EQ(found(QStringLiteral("FILE")), L {kFile});
    EXPECT_EQ(found(u8("\xef\xac\x81le")), L {kFile});
    EXPECT_EQ(found(QStringLiteral("office")),
        L {u8("o\xef\xac\x83"
              "ce.doc")});
    // œ is a letter of its own, not a compatibility form of "oe".
    EXPECT_EQ(found(QStringLiteral("oeuvre")), L {QStringLiteral("oeuvre.txt")});
    EXPECT_EQ(found(u8("\xc5\x92UVRE")), L {u8("\xc5\x93uvre.txt")});

    // Wildcards work over the folded names; "?" is one character as seen,
    // whatever folding made of it.
    EXPECT_EQ(found(u8("*\xc3\xa9\" \"*.txt")), kCafes);
    EXPECT_EQ(found(QStringLiteral("caf?\" \"*")), kCafes);
    EXPECT_EQ(found(QStringLiteral("r?sum?.PDF")), L {kResume});
    EXPECT_EQ(found(QStringLiteral("stra?e.txt")), L {kStrasse});
    EXPECT_EQ(found(QStringLiteral("stra??e.txt")), L {kStrasse});
    EXPECT_EQ(found(QStringLiteral("?le.txt")), L {kFile});
    EXPECT_EQ(found(QStringLiteral("gro*e.*")), L {kGrosse});
    EXPECT_EQ(found(QStringLiteral("*.pdf ext:PDF")), L {kResume});
}

TEST_F(FoldTest, MatchCaseKeepsCaseAndLigaturesButNotTheFormOfAnAccent)
{
    scanNamesOfManyForms();
    EXPECT_EQ(found(u8("caf\xc3\xa9"), true), kCafes);
    EXPECT_EQ(found(u8("cafe\xcc\x81"), true), kCafes);
    EXPECT_EQ(found(u8("CAF\xc3\x89"), true), L {});
    EXPECT_EQ(found(u8("R\xc3\xa9sum\xc3\xa9"), true), L {kResume});
    EXPECT_EQ(found(u8("r\xc3\xa9sum\xc3\xa9"), true), L {});
    EXPECT_EQ(found(u8("Stra\xc3\x9f" "e"), true), L {kStrasse});
    EXPECT_EQ(found(QStringLiteral("strasse"), true), L {});
    EXPECT_EQ(found(u8("\xef\xac\x81le"), true), L {kFile});
    EXPECT_EQ(found(QStringLiteral("file"), true), L {});
    EXPECT_EQ(found(QStringLiteral("R?sum?.pdf"), true), L {kResume});
    EXPECT_EQ(found(QStringLiteral("r?sum?.pdf"), true), L {});
}

TEST_F(FoldTest, AHitShowsTheNameAsStoredAndFollowsRenames)
{
    scanNamesOfManyForms();
    // The row shown is the store's own: its name and path keep the decomposed bytes.
    std::vector<Hit> bill = hits(QStringLiteral("bill"));
    ASSERT_EQ(bill.size(), 1U);
    EXPECT_EQ(bill[0].name.toUtf8(), QByteArray("cafe\xcc\x81 bill.txt"));
    EXPECT_TRUE(bill[0].path.toUtf8().endsWith("mixed/cafe\xcc\x81 bill.txt")) << bill[0].path.toStdString();

    // Another writer renames records to and from decomposed forms.
    SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
    other.exec("UPDATE main SET file_name = 'Nai' || char(776) || 've.txt' WHERE file_name = 'plain.txt'");
    other.exec("UPDATE main SET file_name = 'bill.txt' WHERE file_name LIKE 'cafe_% bill.txt'");
    EXPECT_EQ(found(u8("na\xc3\xafve")), L {u8("Nai\xcc\x88ve.txt")});
    EXPECT_EQ(found(u8("Na\xc3\xafve"), true), L {u8("Nai\xcc\x88ve.txt")});
    bill = hits(QStringLiteral("bill"));
    ASSERT_EQ(bill.size(), 1U);
    EXPECT_EQ(bill[0].name, QStringLiteral("bill.txt"));
    EXPECT_EQ(found(u8("caf\xc3\xa9")), L {u8("caf\xc3\xa9 menu.txt")});
    const std::vector<Hit> naive = hits(QStringLiteral("ve.txt"));
    ASSERT_EQ(naive.size(), 1U);
    EXPECT_EQ(naive[0].name.toUtf8(), QByteArray("Nai\xcc\x88ve.txt"));

    // The same text in its other form is a rename too: the hit shows the new bytes.
    other.exec("UPDATE main SET file_name = 'cafe' || char(769) || ' menu.txt' WHERE file_name LIKE '% menu.txt'");
    const std::vector<Hit> menu = hits(QStringLiteral("menu"));
    ASSERT_EQ(menu.size(), 1U);
    EXPECT_EQ(menu[0].name.toUtf8(), QByteArray("cafe\xcc\x81 menu.txt"));
    EXPECT_EQ(found(u8("caf\xc3\xa9"), true), L {u8("cafe\xcc\x81 menu.txt")});
}

TEST(Folding, FormsAreStableAndBadBytesSurvive)
{
    // Folding what is folded changes nothing: the index and the query meet.
    for (const char* text : {"Stra\xc3\x9f"
                             "e",
             "\xef\xac\x81", "J\xcc\x8c", "\xc7\xb0", "\xe1\xbe\xb3", "\xef\xbc\xa1", "e\xcc\x81\xcc\xa3",
             "\xce\x90"}) {
        const std::string once = fold(text);
        EXPECT_EQ(fold(once), once) << text;
        EXPECT_EQ(canonical(canonical(text)), canonical(text)) << text;
    }
    EXPECT_EQ(fold("\xe1\xba\x9e"), "ss");
    EXPECT_EQ(fold("\xef\xbc\xa1\xc2\xad"
                   "B"),
        "ab"); // full-width A; a soft hyphen shows nothing
    EXPECT_EQ(canonical("e\xcc\x81"), "\xc3\xa9");
    // Bytes that are not UTF-8 stay as they are; the ASCII letters fold.
    EXPECT_EQ(fold("\xff"
                   "ABC\xc3"),
        "\xff"
        "abc\xc3");
    EXPECT_EQ(canonical("\xff"
                        "e\xcc\x81"),
        "\xff"
        "e\xcc\x81");
}

TEST_F(FindTest, SizeBoundsCompareExactlyInBytes)
{
    for (const int bytes : {0, 1, 1023, 1024, 1025, 1535, 1536, 1537})
        makeFile(QStringLiteral("sizes/b%1").arg(bytes), bytes);
    scan(QStringLiteral("sizes"), QStringLiteral("Sizes"));
    auto files = [this](const char* bound) {
        return found(QString::fromLatin1(bound) + QStringLiteral(" type:file"));
    };
    // Half a byte: no file of one byte is at most that, and none is equal to it.
    EXPECT_EQ(files("size<=0.5"), L {"b0"});
    EXPECT_EQ(files("size<0.5"), L {"b0"});
    EXPECT_EQ(files("size=0.5"), L {});
    EXPECT_EQ(files("size>0.5").size(), 7);
    EXPECT_EQ(files("size>=0.5").size(), 7);
    // 1KB is 1024 bytes, 1.5KB 1536 exactly.
    EXPECT_EQ(files("size<1KB"), (L {"b0", "b1", "b1023"}));
    EXPECT_EQ(files("size<=1k"), (L {"b0", "b1", "b1023", "b1024"}));
    EXPECT_EQ(files("size>1KiB size<1.5K"), (L {"b1025", "b1535"}));
    EXPECT_EQ(files("size>=1.5KB"), (L {"b1536", "b1537"}));
    EXPECT_EQ(files("size>1.5k"), (L {"b1537"}));
    EXPECT_EQ(files("size=1.50k"), (L {"b1536"}));
    EXPECT_EQ(files("size=0.0009765625K"), (L {"b1"})); // 1/1024 of a K: one byte, exactly
    EXPECT_EQ(files("size<=0.0009765624K"), (L {"b0"}));
    // The command reads a bound the same way.
    const qmtest::Outcome r = qmtest::captured([] {
        return qm::runFindCommand({QStringLiteral("size<=0.5"), QStringLiteral("type:file")});
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count(u'\n'), 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("sizes/b0\t0\t"))) << r.out.toStdString();
    // Sizes no disk holds, or digits past any meaning, are refused, not wrapped.
    EXPECT_FALSE(parseQuery(QStringLiteral("size>9999999T")).error.isEmpty());
    EXPECT_FALSE(parseQuery(QStringLiteral("size>99999999999999999999")).error.isEmpty());
    EXPECT_FALSE(parseQuery(QStringLiteral("size>0.1234567890123456789")).error.isEmpty());
    EXPECT_EQ(parseQuery(QStringLiteral("size<4096T")).error, QString());
}
