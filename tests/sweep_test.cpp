// Sweeps each sequence that the converter looks for over the places where
// its reading is cut: the end of a 64-byte stretch that its searches skip
// whole, and the end of a read block. Every page goes through the built
// tarvel in one run, and each block must be what the plain restatement of
// the rules makes of its page.

#include <gtest/gtest.h>

#include "restate.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using std::string;

namespace
{

constexpr size_t stretch = TARVEL_STRETCH, read_block = TARVEL_BLOCK; // as tarvel is built

struct sequence {
    const char *name;
    string bytes;
    string head; // what the page starts with, so that the sequence matters
};

const sequence sequences[] = {
    {"quote_paren", ")\"", ""},
    {"html_delimiter", ")html\"", ")\"\n"},
    {"html1_delimiter", ")html1\"", ")\")html\"\n"},
    {"pre", "<pre>", ""},
    {"pre_end", "</pre>", "<pre>\n"},
    {"textarea", "<textarea>", ""},
    {"cr_lf", "\r\n", ""},
    {"cr", "\r", ""},
    {"empty_lines", "\n\n\n\n\n\n\n\n\n\r\n\n\n", ""},
    {"kept_empty_lines", "\n\n\n\n\n\n\n\n\n\r\n\n\n", "<pre>\n"},
    {"near_tags", "<p<pr<pre<li", ""},
    {"listing_end_in_capitals", "</LISTING\t", "<listing>\n"},
    {"indentation", "          \t x", "\n"},
    {"cr_run", "y\r\r\r\r\r\r\r\r\r\r\r\n", "\n"},
};

// A page with the sequence starting at byte `at`, after filler, and then
// the tail.
string page(const sequence &s, size_t at, const string &tail)
{
    string p = s.head;
    p.resize(at, 'x');
    return p + s.bytes + tail;
}

TEST(sweep, sequences_across_stretch_and_block_ends)
{
    char tmpl[] = "/tmp/tarvel_sweep.XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    struct cleanup {
        fs::path root;
        ~cleanup()
        {
            fs::remove_all(root);
        }
    } removed = {tmpl};
    const fs::path pages = removed.root / "pages";
    fs::create_directory(pages);

    string expected;
    std::vector<string> names;
    for (const sequence &s : sequences)
        for (size_t end : {stretch, 2 * stretch, read_block})
            for (size_t at = end - s.bytes.size() - 3; at <= end + 3; at++)
                for (const string tail : {"", "\n  y\n\n"}) {
                    char name[64];
                    snprintf(name, sizeof(name), "p%04zu", names.size());
                    string p = page(s, at, tail), delim = restate::expected_delimiter(p);
                    std::ofstream(pages / (string(name) + ".html"), std::ios::binary) << p;
                    expected += "const char " + string(name) + "_html[] PROGMEM = R\"" + delim +
                                "(" + restate::expected_text(p) + ")" + delim + "\";\r\n";
                    names.push_back(string(s.name) + " at " + std::to_string(at) +
                                    (tail.empty() ? ", ending the page" : ""));
                }

    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(pages.c_str()) != 0 || !freopen("/dev/null", "w", stdout))
            _exit(127);
        alarm(60);
        execl(TARVEL, TARVEL, static_cast<char *>(nullptr));
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "status " << st;
    std::ifstream f(removed.root / "htmls.h", std::ios::binary);
    std::ostringstream header;
    header << f.rdbuf();

    // The first block that differs, with the page it comes from.
    const string h = header.str();
    size_t at = 0, page_no = 0;
    for (const string mark = "const char p"; page_no < names.size(); page_no++) {
        size_t next = expected.find(mark, at + 1);
        next = next == string::npos ? expected.size() : next;
        if (h.compare(at, next - at, expected, at, next - at) != 0)
            break;
        at = next;
    }
    EXPECT_EQ(page_no, names.size()) << "the first wrong block is of " << names[page_no];
    EXPECT_EQ(h.size(), expected.size());
}

} // namespace
