// Every width of compares that the processor has finds what the plain loops
// find: the same first stretch with a hit, and the same mask of it, for
// closing sequences and for the tags of preformatted text, from every
// offset of pages full of near misses.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "search.h"
#include "testing.h"

namespace
{

// Pages of pieces that hit and that almost hit, in a random order.
std::string near_misses(unsigned seed)
{
    static const char *const pieces[] = {
        ")\"", ")h", ")x",  "<pre", "<PRE",  "</pre", "<lis", "<tex", "<xmp", "<p",    "<pr",
        "</",  "<t", "\0<", "\x80", "\xff<", "text",  " ",    "\n",   "<Xm",  "<\0pre"};
    std::mt19937 random(seed);
    std::string page;
    while (page.size() < 4096)
        page += pieces[random() % std::size(pieces)];
    return page;
}

TEST(compares, find_what_the_plain_loops_find)
{
    const compares has = widest;
    for (int width = static_cast<int>(has); width > 0; width--) {
        test_use_compares(static_cast<compares>(width));
        for (unsigned seed = 0; seed < 20; seed++) {
            const std::string page = near_misses(seed);
            const char *end = page.data() + page.size();
            for (const char *p = page.data(); p < end; p++) {
                mask wide, plain;
                ASSERT_EQ(close_hits(p, end, '"', 'h', wide),
                          close_hits_plain(p, end, '"', 'h', plain));
                ASSERT_EQ(wide, plain) << "closing sequences, width " << width << ", seed " << seed;
                ASSERT_EQ(tag_hits(p, end, wide), tag_hits_plain(p, end, plain));
                ASSERT_EQ(wide, plain) << "tags, width " << width << ", seed " << seed;
            }
        }
    }
    test_use_compares(has);
    if (has == compares::plain)
        GTEST_SKIP() << "this processor has no wider compares than the plain loops";
}

} // namespace
