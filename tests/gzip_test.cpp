// The gzip twins of a header made with tarvel -z, compiled in: each page's
// twin is one gzip member, made the same way on every run, that inflates
// to the page's array, with the length and ETag that the header gives it.

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "gunzip.h"
#include "pages.h"

TEST(gzip, every_twin_inflates_to_its_page)
{
    for (const page &p : test_pages) {
        SCOPED_TRACE(p.path);
        bool ok;
        std::string text = gunzip(p.gz, p.gz_len, ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(text, std::string(p.text, p.size - 1));
    }
}

TEST(gzip, lengths_leave_out_the_terminating_zero)
{
    for (const page &p : test_pages) {
        SCOPED_TRACE(p.path);
        EXPECT_EQ(p.gz_len, p.gz_size - 1);
        EXPECT_EQ(p.gz[p.gz_len], 0);
    }
}

TEST(gzip, etags_are_the_quoted_crc_of_the_twin)
{
    for (const page &p : test_pages) {
        SCOPED_TRACE(p.path);
        char want[16];
        snprintf(want, sizeof(want), "\"%08lx\"", crc32(0, p.gz, p.gz_len));
        EXPECT_STREQ(p.etag, want);
    }
}

// No time stamp, no file name, a fixed operating system: nothing that
// differs from one machine or run to the next.
TEST(gzip, gzip_headers_hold_nothing_of_the_run)
{
    const unsigned char want[] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0};
    for (const page &p : test_pages) {
        SCOPED_TRACE(p.path);
        ASSERT_GE(p.gz_len, 18u);
        EXPECT_EQ(std::string(p.gz, p.gz + sizeof(want)), std::string(want, want + sizeof(want)));
        EXPECT_EQ(p.gz[9], 255); // OS: unknown
    }
}
