// A page that changes while tarvel converts it must still give a block that
// compiles. A page larger than a read block is read twice, once to pick the
// delimiter and once to convert it; here the page gets a closing sequence of
// that delimiter just before its second reading. And an old header written
// to while the run holds the new one against it must fail the run.

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// The converter itself, its pages read through the test.
#include "convert.h"
#include "files.h"
#include "header.h"
#include "read.h"
#include "testing.h"

using std::string;

namespace
{

int writer = -1;      // the page, open for writing
int reads_from_start; // reads that began at the page's start
const char *added;    // what the page gets before it is read again
off_t added_at;       // and where
int reads;            // reads of pages so far
int old_header = -1;  // the old header, open for writing
int spoiled_at;       // the read before which its first byte changes, or 0
int header_fd = -1;   // the header, made in memory
constexpr size_t block = sizeof(in);

} // namespace

long changing_read(int fd, char *p, size_t n)
{
    if (++reads == spoiled_at && pwrite(old_header, "X", 1, 0) != 1)
        return -1;
    if (lseek(fd, 0, SEEK_CUR) == 0 && ++reads_from_start == 2 && added &&
        pwrite(writer, added, strlen(added), added_at) < 0)
        return -1;
    return read_full(fd, p, n);
}

namespace
{

struct change {
    const char *name;
    const char *added;
    off_t at;
    int status;
};

void PrintTo(const change &c, std::ostream *os)
{
    *os << c.name;
}

class changing_page : public testing::TestWithParam<change>
{
};

TEST_P(changing_page, gives_a_block_that_compiles)
{
    const change &c = GetParam();
    char path[] = "/tmp/tarvel_change.XXXXXX";
    writer = mkstemp(path);
    ASSERT_GE(writer, 0);
    struct cleanup {
        const char *path;
        ~cleanup()
        {
            unlink(path);
            close(writer);
            close(header_fd);
        }
    } removed = {path};
    // Two and a half blocks of lines that hold )", so the delimiter is html.
    string line = "<a onclick=\"go()\">x</a>\n", page;
    while (page.size() < block * 5 / 2)
        page += line;
    ASSERT_EQ(write(writer, page.data(), page.size()), static_cast<ssize_t>(page.size()));
    read_page = changing_read;
    header_fd = memfd_create("header", 0);
    test_new_run(header_fd); // each case a run of its own, the binary run whole too
    reads_from_start = 0, added = c.added, added_at = c.at;

    testing::internal::CaptureStdout();
    tarvel(path, "p_html");
    flush_out();
    string report = testing::internal::GetCapturedStdout();

    string got(lseek(header_fd, 0, SEEK_END), '\0');
    ASSERT_EQ(pread(header_fd, got.data(), got.size(), 0), static_cast<ssize_t>(got.size()));
    const string open = "const char p_html[] PROGMEM = R\"html(", close = ")html\";\r\n";
    EXPECT_EQ(got.compare(0, open.size(), open), 0);
    EXPECT_EQ(got.find(")html\""), got.size() - close.size()) << "the raw string ends early";
    EXPECT_EQ(test_status(), c.status);
    EXPECT_EQ(report, c.status ? "Can't read file " + string(path) + "\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    changes, changing_page,
    testing::Values(change{"none", nullptr, 0, 0},
                    change{"closer_in_the_second_block", ")html\"", block + 1000, 1},
                    change{"closer_across_a_block_end", ")html\"", block - 3, 1}),
    [](const testing::TestParamInfo<change> &i) { return string(i.param.name); });

// A run over an old header that holds what it converts; the old header's
// first byte changes meanwhile, once the run has held it against the new
// one, before the `spoil`th read of a page (0: never).
void run_over_old_header(int spoil, int want_status)
{
    char dir[] = "/tmp/tarvel_change.XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    string root = dir, was_cwd(PATH_MAX, '\0');
    ASSERT_TRUE(getcwd(was_cwd.data(), was_cwd.size()));
    struct cleanup {
        string root, cwd;
        ~cleanup()
        {
            close(old_header);
            old_header = -1;
            test_new_run(-1); // the next test starts with a header as a run does
            (void)!chdir(cwd.c_str());
            (void)!system(("rm -rf " + root).c_str());
        }
    } removed = {root, was_cwd.c_str()};
    ASSERT_EQ(mkdir((root + "/pages").c_str(), 0755), 0);
    ASSERT_EQ(chdir((root + "/pages").c_str()), 0);
    string page;
    while (page.size() < block * 5 / 2)
        page += "<p>line</p>\n";
    FILE *f = fopen("a.html", "w");
    ASSERT_TRUE(f && fwrite(page.data(), 1, page.size(), f) == page.size() && fclose(f) == 0);

    // The header it gives, made in memory, is the old header.
    read_page = changing_read;
    int made = memfd_create("header", 0);
    test_new_run(made);
    tarvel("a.html", "a_html");
    flush_out();
    string old(lseek(made, 0, SEEK_END), '\0');
    ASSERT_EQ(pread(made, old.data(), old.size(), 0), static_cast<ssize_t>(old.size()));
    close(made);
    old_header = open("../htmls.h", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(old_header, old.data(), old.size()), static_cast<ssize_t>(old.size()));

    test_new_run(-1);
    reads = 0, spoiled_at = spoil;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(open_header());
    tarvel("a.html", "a_html");
    end_header(true);
    string report = testing::internal::GetCapturedStdout();
    spoiled_at = 0;
    EXPECT_EQ(test_status(), want_status);
    EXPECT_EQ(report, want_status ? "Can't write file ../htmls.h\n" : "");
    std::ifstream now("../htmls.h", std::ios::binary);
    string kept((std::istreambuf_iterator<char>(now)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, spoil ? "X" + old.substr(1) : old) << "the old header was replaced";
}

TEST(old_header, that_holds_the_new_one_is_kept)
{
    run_over_old_header(0, 0);
}

// The page is read three times to pick its delimiter; the fifth read, of
// its second block, comes once the first block's text has been held
// against the old header.
TEST(old_header, written_to_meanwhile_fails_the_run)
{
    run_over_old_header(5, 1);
}

} // namespace
