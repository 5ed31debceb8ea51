// SPDX-License-Identifier: GPL-3.0-or-later
// The sweep's finder gives what memmem() gives, wherever the text lies:
// inside a wide block, across two, in the last bytes before the end.
#include "find/TextSweep.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using qm::find::findText;

namespace {

// Every place memmem() finds, by stepping past each.
std::vector<std::ptrdiff_t> places(const std::string& in, const std::string& text, bool ours)
{
    std::vector<std::ptrdiff_t> found;
    const char* at = in.data();
    const char* end = in.data() + in.size();
    for (;;) {
        const char* f = ours ? findText(at, end, text)
                             : static_cast<const char*>(::memmem(at, static_cast<size_t>(end - at), text.data(), text.size()));
        if (!f || f >= end)
            break;
        found.push_back(f - in.data());
        at = f + 1;
    }
    return found;
}

} // namespace

TEST(TextSweep, FindsWhatMemmemFindsAtEveryPlaceAndLength)
{
    // Few letters, so that first and last bytes agree often and the bytes
    // between decide.
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::string in(static_cast<size_t>(random() % 200), 'a');
        for (char& c : in)
            c = "ab\0c"[random() % 4];
        const size_t length = 1 + random() % 40;
        std::string text(length, 'a');
        for (char& c : text)
            c = "ab"[random() % 2];
        // And once at the very end, where no whole block is left.
        if (round % 3 == 0 && in.size() >= length)
            in.replace(in.size() - length, length, text);
        EXPECT_EQ(places(in, text, true), places(in, text, false))
            << "round " << round << ": \"" << text << "\" in " << in.size() << " bytes";
    }
}

TEST(TextSweep, NeverReadsPastTheEndItIsGiven)
{
    // The text sits right after the end: it must not be found there.
    const std::string all = std::string(100, 'x') + "needle";
    for (size_t cut = 0; cut < all.size(); ++cut)
        EXPECT_EQ(findText(all.data(), all.data() + cut, "needle"), nullptr) << cut;
    EXPECT_EQ(findText(all.data(), all.data() + all.size(), "needle"), all.data() + 100);
    EXPECT_EQ(findText(all.data(), all.data() + all.size(), ""), all.data());
    EXPECT_EQ(findText(all.data(), all.data(), "x"), nullptr);
}
