// A page that changes while tarvel converts it must still give a block that
// compiles. A page larger than a read block is read twice, once to pick the
// delimiter and once to convert it; here the page gets a closing sequence of
// that delimiter just before its second reading.

#include <gtest/gtest.h>

#include <string>

// The converter itself, without its main, its pages read through the test.
#define TARVEL_NO_MAIN
#define TARVEL_READ_PAGE changing_read
#include "../src/tarvel.cpp"

using std::string;

namespace
{

int writer = -1;      // the page, open for writing
int reads_from_start; // reads that began at the page's start
const char *added;    // what the page gets before it is read again
off_t added_at;       // and where
constexpr size_t block = sizeof(in);

} // namespace

long changing_read(int fd, char *p, size_t n)
{
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
            close(header.file.fd);
        }
    } removed = {path};
    // Two and a half blocks of lines that hold )", so the delimiter is html.
    string line = "<a onclick=\"go()\">x</a>\n", page;
    while (page.size() < block * 5 / 2)
        page += line;
    ASSERT_EQ(write(writer, page.data(), page.size()), static_cast<ssize_t>(page.size()));
    header.file.fd = memfd_create("header", 0);
    status = 0, reads_from_start = 0, added = c.added, added_at = c.at;

    testing::internal::CaptureStdout();
    tarvel(path, "p_html");
    flush_out();
    string report = testing::internal::GetCapturedStdout();

    string got(lseek(header.file.fd, 0, SEEK_END), '\0');
    ASSERT_EQ(pread(header.file.fd, got.data(), got.size(), 0), static_cast<ssize_t>(got.size()));
    const string open = "const char p_html[] PROGMEM = R\"html(", close = ")html\";\r\n";
    EXPECT_EQ(got.compare(0, open.size(), open), 0);
    EXPECT_EQ(got.find(")html\""), got.size() - close.size()) << "the raw string ends early";
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(report, c.status ? "Can't read file " + string(path) + "\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    changes, changing_page,
    testing::Values(change{"none", nullptr, 0, 0},
                    change{"closer_in_the_second_block", ")html\"", block + 1000, 1},
                    change{"closer_across_a_block_end", ")html\"", block - 3, 1}),
    [](const testing::TestParamInfo<change> &i) { return string(i.param.name); });

} // namespace
