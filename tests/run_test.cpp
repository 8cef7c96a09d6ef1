// Runs the built tarvel as a user does, in a fresh folder of pages, and
// compares its report, its exit status, list.txt and the header it writes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using std::string;

namespace
{

enum class kind { file, folder, fifo, link };

// A file of the test folder; its name is relative to the pages' folder, so
// "../htmls.h" sets up the header.
struct entry {
    string name;
    string bytes; // the file's bytes, or the target of a link
    kind type = kind::file;
};

const string no_file = "<no regular file>";
const string anything = "<anything>"; // what the shell itself may say

struct run_case {
    string name;
    std::vector<entry> files;
    string report; // standard output
    string header; // the bytes of ../htmls.h, or no_file
    int status = 0;
    std::vector<string> args = {};
    string errors = "";    // standard error, unless anything
    string list = no_file; // list.txt, checked unless no_file
};

const string banner = "--------------------------------------\n"
                      "Convert all .html files in this folder\n"
                      "to C++ raw strings and save them in the\n"
                      "parent folder as htmls.h\n"
                      "-----------------------------------------\n";

// What tarvel prints: the banner, the given lines, and the count.
string report(const std::vector<string> &lines, int count)
{
    string s = banner;
    for (const string &l : lines)
        s += l + "\n";
    return s + std::to_string(count) + " files processed.\n";
}

string block(const string &id, const string &text, const string &delim = "")
{
    return "const char " + id + "[] PROGMEM = R\"" + delim + "(" + text + ")" + delim + "\";\r\n";
}

string slurp(const fs::path &p)
{
    if (!fs::is_regular_file(p))
        return no_file;
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void make(const fs::path &dir, const entry &e)
{
    fs::path p = dir / e.name;
    switch (e.type) {
    case kind::file:
        std::ofstream(p, std::ios::binary) << e.bytes;
        break;
    case kind::folder:
        fs::create_directory(p);
        break;
    case kind::fifo:
        ASSERT_EQ(mkfifo(p.c_str(), 0644), 0);
        break;
    case kind::link:
        fs::create_symlink(e.bytes, p);
        break;
    }
}

struct result {
    string out, err;
    int status;
};

// Runs tarvel in dir with the C locale, so that ls sorts the same way
// everywhere, and kills it should it ever block.
result run(const fs::path &dir, const std::vector<string> &args)
{
    fs::path out = dir.parent_path() / "stdout", err = dir.parent_path() / "stderr";
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv = {const_cast<char *>(TARVEL)};
        for (const string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        if (chdir(dir.c_str()) != 0 || !freopen(out.c_str(), "w", stdout) ||
            !freopen(err.c_str(), "w", stderr))
            _exit(127);
        setenv("LC_ALL", "C", 1);
        alarm(20);
        execv(TARVEL, argv.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return {slurp(out), slurp(err), WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st)};
}

void PrintTo(const run_case &c, std::ostream *os)
{
    *os << c.name;
}

// Sets up the case's files in a fresh folder, runs tarvel there and compares.
void check(const run_case &c)
{
    char tmpl[] = "/tmp/tarvel_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    fs::path root = tmpl, pages = root / "pages";
    fs::create_directory(pages);
    for (const entry &e : c.files)
        make(pages, e);

    result r = run(pages, c.args);
    EXPECT_EQ(r.out, c.report);
    if (c.errors != anything) {
        EXPECT_EQ(r.err, c.errors);
    }
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(slurp(root / "htmls.h"), c.header);
    if (c.list != no_file) {
        EXPECT_EQ(slurp(pages / "list.txt"), c.list);
    }
    if (!c.args.empty()) {
        EXPECT_FALSE(fs::exists(pages / "list.txt")) << "options must not start a run";
    }
    fs::remove_all(root);
}

class tarvel_run : public testing::TestWithParam<run_case>
{
};

TEST_P(tarvel_run, behaves)
{
    check(GetParam());
}

// Made only when it runs, so that its 50 MB do not slow every other case.
TEST(tarvel_big, page_of_50_mb_without_line_end)
{
    const string huge(50 << 20, 'h');
    check({"page_of_50_mb_without_line_end",
           {{"a.html", "  " + huge}, {"b.html", "B"}},
           report({"a.html", "b.html"}, 2),
           block("a_html", huge + "\r\n") + block("b_html", "B\r\n")});
}

const string usage =
    "usage: tarvel [-h | --help | --version]\n"
    "Run in a folder of HTML pages: lists the *.html pages in list.txt and writes\n"
    "them all as PROGMEM raw strings into ../htmls.h, overwriting that file.\n";

const string long_name = string(250, 'n') + ".html"; // 255 bytes, the most Linux allows
const string x10000 = string(10000, 'x');

std::vector<run_case> cases()
{
    std::vector<run_case> t = {
        // The run as a whole.
        {"two_pages_in_listing_order",
         {{"index.html", "<p>i</p>\n"}, {"about.html", "<p>a</p>\n"}},
         report({"about.html", "index.html"}, 2),
         block("about_html", "<p>a</p>\r\n") + block("index_html", "<p>i</p>\r\n"),
         0,
         {},
         "",
         "about.html\nindex.html\n"},
        {"folder_without_pages", {{"notes.txt", "x"}}, report({}, 0), "", 0, {}, anything, ""},
        {"header_is_replaced",
         {{"../htmls.h", "old"}, {"a.html", "A"}},
         report({"a.html"}, 1),
         block("a_html", "A\r\n")},

        // The line rules.
        {"indent_and_empty_lines_go",
         {{"p.html", "  A\n\n\t\nB"}},
         report({"p.html"}, 1),
         block("p_html", "A\r\n\r\nB\r\n")},
        {"crlf_page_gives_the_same",
         {{"p.html", "  A\r\n\r\n\t\r\nB"}},
         report({"p.html"}, 1),
         block("p_html", "A\r\n\r\nB\r\n")},
        {"inner_and_trailing_spaces_stay",
         {{"p.html", "\t<p>a  b</p> \t\n"}},
         report({"p.html"}, 1),
         block("p_html", "<p>a  b</p> \t\r\n")},
        {"empty_page", {{"p.html", ""}}, report({"p.html"}, 1), block("p_html", "")},
        {"cr_cr_lf_is_a_line_cr_lf_is_not",
         {{"p.html", "a\r\n\r\r\n\r\nb\r\r\n"}},
         report({"p.html"}, 1),
         block("p_html", "a\r\n\r\nb\r\r\n")},
        {"cr_only_page_is_one_line",
         {{"p.html", "  A\r  B\r"}},
         report({"p.html"}, 1),
         block("p_html", "A\r  B\r\n")},
        {"up_to_two_crs_end_the_page",
         {{"p.html", "a\nb\r\r\r"}},
         report({"p.html"}, 1),
         block("p_html", "a\r\nb\r\r\n")},
        {"vertical_tab_and_form_feed_are_text",
         {{"p.html", "\v  a\n\f\tb\n"}},
         report({"p.html"}, 1),
         block("p_html", "\v  a\r\n\f\tb\r\n")},
        {"utf8_passes",
         {{"p.html", "  <p>café ☕</p>\n"}},
         report({"p.html"}, 1),
         block("p_html", "<p>café ☕</p>\r\n")},
        {"zero_bytes_are_text",
         {{"p.html", string("a\0b\n\0c\n  \0", 10)}},
         report({"p.html"}, 1),
         block("p_html", string("a\0b\r\n\0c\r\n\0\r\n", 12))},
        {"long_line_is_not_split",
         {{"p.html", "  " + x10000 + "  \t " + x10000 + "\n"}},
         report({"p.html"}, 1),
         block("p_html", x10000 + "  \t " + x10000 + "\r\n")},
        {"line_of_9999_bytes",
         {{"p.html", string(9999, 'y') + "\nz"}},
         report({"p.html"}, 1),
         block("p_html", string(9999, 'y') + "\r\nz\r\n")},

        // The raw string delimiter.
        {"quote_paren_gets_a_delimiter",
         {{"p.html", "<a onclick=\"go()\">x</a>\n"}},
         report({"p.html"}, 1),
         block("p_html", "<a onclick=\"go()\">x</a>\r\n", "html")},
        {"next_free_delimiter",
         {{"p.html", "f(\"a\")\")html\" )html2\"\n"}},
         report({"p.html"}, 1),
         block("p_html", "f(\"a\")\")html\" )html2\"\r\n", "html1")},
        {"no_quote_paren_no_delimiter",
         {{"p.html", "x )html\" y\n"}},
         report({"p.html"}, 1),
         block("p_html", "x )html\" y\r\n")},

        // Names and identifiers.
        {"identifiers_that_compile",
         {{"404.html", "a"},
          {"my page.html", "b"},
          {"site-map.en.html", "c"},
          {"ok_1.html", "d"},
          {"café.html", "e"},
          {"-n.html", "f"}},
         report(
             {"-n.html", "404.html", "café.html", "my page.html", "ok_1.html", "site-map.en.html"},
             6),
         block("_n_html", "f\r\n") + block("_404_html", "a\r\n") + block("café_html", "e\r\n") +
             block("my_page_html", "b\r\n") + block("ok_1_html", "d\r\n") +
             block("site_map_en_html", "c\r\n")},
        {"final_html_is_cut",
         {{"index.html.html", "double"}, {"index.html", "single"}},
         report({"index.html", "index.html.html"}, 2),
         block("index_html", "single\r\n") + block("index_html_html", "double\r\n")},
        {"names_of_any_length",
         {{string(95, 'm') + ".html", "m"}, {long_name, "n"}},
         report({string(95, 'm') + ".html", long_name}, 2),
         block(string(95, 'm') + "_html", "m\r\n") + block(string(250, 'n') + "_html", "n\r\n")},
        {"newline_in_a_name_loses_no_later_page",
         {{"a\nb.html", "x"}, {"z.html", "z"}},
         report({"b.html", "Can't open file b.html", "z.html"}, 2),
         block("z_html", "z\r\n"),
         1},

        // Files that cannot be handled.
        {"page_that_cannot_be_opened",
         {{"a.html", "A"}, {"b.html", "missing", kind::link}, {"c.html", "C"}},
         report({"a.html", "b.html", "Can't open file b.html", "c.html"}, 3),
         block("a_html", "A\r\n") + block("c_html", "C\r\n"),
         1},
        {"folder_and_fifo_are_no_pages",
         {{"d.html", "", kind::folder}, {"f.html", "", kind::fifo}, {"g.html", "G"}},
         report({"d.html", "Can't open file d.html", "f.html", "Can't open file f.html", "g.html"},
                3),
         block("g_html", "G\r\n"),
         1},
        {"page_that_cannot_be_read",
         {{"a.html", "/proc/self/mem", kind::link}, {"b.html", "B"}},
         report({"a.html", "Can't read file a.html", "b.html"}, 2),
         block("a_html", "") + block("b_html", "B\r\n"),
         1},
        {"header_cannot_be_written",
         {{"../htmls.h", "/dev/full", kind::link}, {"a.html", "A"}},
         report({"a.html"}, 1) + "Can't write file ../htmls.h\n",
         no_file,
         1},
        {"header_folder_is_missing",
         {{"../htmls.h", "gone/htmls.h", kind::link}, {"a.html", "A"}},
         banner + "Can't open file ../htmls.h\n",
         no_file,
         1},
        {"header_cannot_be_opened",
         {{"../htmls.h", "", kind::folder}, {"a.html", "A"}},
         banner + "Can't open file ../htmls.h\n",
         no_file,
         1},
        {"listing_cannot_be_opened",
         {{"../htmls.h", "old"}, {"list.txt", "", kind::folder}, {"a.html", "A"}},
         banner + "Can't open file list.txt\n",
         "old",
         1,
         {},
         anything},

        // Options: none of them touches a file.
        {"help", {}, usage, no_file, 0, {"--help"}},
        {"short_help", {}, usage, no_file, 0, {"-h"}},
        {"version", {}, "tarvel " TARVEL_VERSION "\n", no_file, 0, {"--version"}},
        {"unknown_option", {{"../htmls.h", "old"}}, "", "old", 2, {"-x"}, usage},
        {"extra_argument", {}, "", no_file, 2, {"--help", "x"}, usage},
    };

    // Many pages.
    run_case many = {"two_thousand_pages", {}, "", "", 0};
    std::vector<string> names;
    for (int i = 0; i < 2000; i++) {
        char name[16];
        snprintf(name, sizeof(name), "p%04d", i);
        many.files.push_back({string(name) + ".html", "<p>" + std::to_string(i) + "</p>\n"});
        names.push_back(string(name) + ".html");
        many.header += block(string(name) + "_html", "<p>" + std::to_string(i) + "</p>\r\n");
    }
    many.report = report(names, 2000);
    t.push_back(many);

    // Lines that run over the sizes a reader may read in one go must come out
    // whole, with their CRs and indentation settled the same way.
    for (size_t size : {4096, 65536, 262144, 1048576}) {
        for (size_t off : {size - 2, size - 1, size}) {
            string head = "  " + string(off - 2, 'w');
            t.push_back(
                {"block_edge_" + std::to_string(off),
                 {{"p.html", head + "\r\r\n \r\n\r\n  \tv\r\n" + head + " )\"\r\r"}},
                 report({"p.html"}, 1),
                 block("p_html", head.substr(2) + "\r\r\n\r\nv\r\n" + head.substr(2) + " )\"\r\n",
                       "html")});
        }
    }
    return t;
}

INSTANTIATE_TEST_SUITE_P(cases, tarvel_run, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<run_case> &i) { return i.param.name; });

} // namespace
