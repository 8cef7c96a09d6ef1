// Runs the built tarvel as a user does, in a fresh folder of pages, and
// compares its report, its exit status, list.txt and the header it writes.

#include <gtest/gtest.h>

#include "gunzip.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using std::string;

namespace
{

enum class kind { file, folder, fifo, link, hard_link, program };

// A file of the test folder; its name is relative to the pages' folder, so
// "../htmls.h" sets up the header and "." is the pages' folder itself.
struct entry {
    string name;
    string bytes; // the file's bytes, the target of a link, or a program's script
    kind type = kind::file;
    mode_t mode = 0; // its permissions, where they matter
};

// How tarvel's standard streams are set up.
enum class streams {
    files,  // output and errors go to files
    closed, // standard input and output are closed
    full,   // standard output is /dev/full
};

const string no_file = "<no regular file>";
const string anything = "<anything>"; // what the shell itself may say

struct run_case {
    string name;
    std::vector<entry> files = {};
    string report = ""; // standard output
    string header = ""; // the bytes of ../htmls.h, or no_file
    int status = 0;
    std::vector<string> args = {};
    string errors = "";            // standard error, unless anything
    string list = no_file;         // list.txt, checked unless no_file
    std::vector<entry> after = {}; // more files as they must be after the run
    std::vector<string> env = {};  // NAME=value for tarvel's environment
    streams std_streams = streams::files;
    bool header_untouched = false; // ../htmls.h keeps its modification time
    bool as_nobody = false;        // run as the user nobody, should the tests run as root
    int disk_kb = 0;               // the test folder is a tmpfs of this size
    int file_limit_kb = 0;         // tarvel may write no larger file (ulimit -f)
};

// Every file a case makes dates from here, so that a rewrite shows.
constexpr time_t made_at = 1000000000;

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

// A case of n pages p000000.html, p000001.html, ...: their files, and the
// report and header they give.
run_case numbered_pages(const string &name, int n)
{
    run_case c = {name, {}, "", "", 0};
    std::vector<string> names;
    for (int i = 0; i < n; i++) {
        char base[16];
        snprintf(base, sizeof(base), "p%06d", i);
        string text = "<p>" + std::to_string(i) + "</p>";
        c.files.push_back({string(base) + ".html", text + "\n"});
        names.push_back(string(base) + ".html");
        c.header += block(string(base) + "_html", text + "\r\n");
    }
    c.report = report(names, n);
    return c;
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

// Makes the entry in dir, a file from its own folder: the paths of a deep
// tree are longer than a path from the top may be.
void make(const fs::path &dir, const entry &e)
{
    struct in_dir {
        fs::path was = fs::current_path();
        explicit in_dir(const fs::path &dir)
        {
            fs::current_path(dir);
        }
        ~in_dir()
        {
            fs::current_path(was);
        }
    } here(dir);
    fs::path p = e.name;
    if (e.type == kind::file && p.has_parent_path() && p.string()[0] != '.')
        fs::current_path(p.parent_path()), p = p.filename();
    switch (e.type) {
    case kind::file:
    case kind::program:
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
        return;
    case kind::hard_link:
        fs::create_hard_link(e.bytes, p);
        return;
    }
    mode_t mode = e.mode ? e.mode : e.type == kind::program ? 0755 : 0;
    if (mode) {
        ASSERT_EQ(chmod(p.c_str(), mode), 0);
    }
    const timespec times[] = {{made_at, 0}, {made_at, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

// A fresh folder for a case, removed with all it holds when the case ends,
// however it ends; the reports go beside it, where a full disk cannot stop
// them.
struct scratch {
    fs::path root, pages, out, err;
    fs::path tool; // a copy of tarvel that anyone may run
    bool mounted = false;

    scratch()
    {
        char tmpl[] = "/tmp/tarvel_test.XXXXXX";
        root = mkdtemp(tmpl) ? tmpl : "/nonexistent";
        pages = root / "pages", out = root.string() + ".stdout", err = root.string() + ".stderr";
        tool = root / "tarvel";
    }
    ~scratch()
    {
        // A folder that a case made unreadable is opened up to be removed.
        std::error_code ignored;
        chmod(pages.c_str(), 0755);
        for (auto it = fs::recursive_directory_iterator(pages, ignored); it != fs::end(it);
             it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                chmod(it->path().c_str(), 0755);
        if (mounted)
            umount2(root.c_str(), MNT_DETACH);
        fs::remove_all(root, ignored);
        if (fs::exists(root, ignored)) { // a tree too deep for absolute paths
            EXPECT_EQ(system(("rm -rf " + root.string()).c_str()), 0);
        }
        fs::remove(out, ignored);
        fs::remove(err, ignored);
    }
};

struct result {
    string out, err;
    int status;
};

// Starts tarvel in dir with the C locale, so that nothing of the caller's
// sorts or quotes differently, then the case's environment; it is killed
// should it ever block. Its reports go to out and err.
pid_t start(const scratch &dir, const run_case &c, const fs::path &out, const fs::path &err)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv = {const_cast<char *>(TARVEL)};
        for (const string &a : c.args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        if (chdir(dir.pages.c_str()) != 0 || !freopen(out.c_str(), "w", stdout) ||
            !freopen(err.c_str(), "w", stderr))
            _exit(127);
        if (c.std_streams == streams::closed) {
            close(STDIN_FILENO);
            close(STDOUT_FILENO);
        }
        if (c.std_streams == streams::full && !freopen("/dev/full", "w", stdout))
            _exit(127);
        close_range(3, ~0u, 0); // what the test runner left open: tarvel's files are 3, 4, ...
        umask(022);
        setenv("LC_ALL", "C", 1);
        for (const string &v : c.env)
            putenv(const_cast<char *>(v.c_str()));
        const rlimit file_limit = {c.file_limit_kb * rlim_t(1024), c.file_limit_kb * rlim_t(1024)};
        if (c.file_limit_kb && setrlimit(RLIMIT_FSIZE, &file_limit) != 0)
            _exit(127);
        if (c.as_nobody && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(127);
        alarm(20);
        execv(c.as_nobody ? dir.tool.c_str() : TARVEL, argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for a run; its status, 128 + the signal that killed it.
int wait_for(pid_t pid)
{
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

result run(const scratch &dir, const run_case &c)
{
    int status = wait_for(start(dir, c, dir.out, dir.err));
    return {slurp(dir.out), slurp(dir.err), status};
}

void PrintTo(const run_case &c, std::ostream *os)
{
    *os << c.name;
}

// Skips a check that this machine cannot make, unless skips are forbidden
// (TARVEL_NO_SKIP, as in CI): then it fails.
#define SKIP_UNLESS(ok, why)                                                                       \
    if (!(ok)) {                                                                                   \
        if (getenv("TARVEL_NO_SKIP")) {                                                            \
            FAIL() << why;                                                                         \
        }                                                                                          \
        GTEST_SKIP() << why;                                                                       \
    }

// A small file system of its own, in a mount namespace of this test's own.
bool mount_tmpfs(const fs::path &dir, int kb)
{
    string options = "size=" + std::to_string(kb) + "k";
    return unshare(CLONE_NEWNS) == 0 &&
           mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// Files whose names start with a dot that the case did not make: what a run
// may have left behind.
std::vector<string> left_behind(const fs::path &root, const run_case &c)
{
    std::vector<string> left;
    for (const auto &f :
         fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied)) {
        string name = f.path().filename();
        if (name[0] != '.')
            continue;
        bool made = false;
        for (const entry &e : c.files)
            made |= fs::path(e.name).filename() == name;
        if (!made)
            left.push_back(fs::relative(f.path(), root));
    }
    return left;
}

// Reads the bytes of a string literal that tarvel -z writes: printable
// characters and three-digit octal escapes. False if it is not one, or
// longer than `longest` (a line of a twin holds 32 bytes).
bool read_literal(const string &line, string &bytes, size_t longest = 200)
{
    size_t end = line.size() - (line.size() > 1 && line.back() == ';');
    if (line.size() < 2 || line[0] != '"' || line[end - 1] != '"' || line.size() > longest)
        return false;
    for (size_t i = 1; i < end - 1; i++) {
        if (line[i] != '\\') {
            bytes += line[i];
        } else if (i + 3 < end - 1) {
            bytes += static_cast<char>(std::stoi(line.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// The header of a run of tarvel -z without its gzip twins, each of which
// must follow its block, inflate to the block's text as a compiler reads it
// (CR LF as LF) and come with its length and ETag. What is wrong with a
// twin goes to `wrong`.
// The array name of a page, as tarvel makes it from the page's name.
string identifier(const string &name)
{
    string id = isdigit(name[0]) ? "_" : "";
    for (unsigned char ch : name)
        id += ch < 128 && (isalnum(ch) || ch == '_') ? static_cast<char>(ch) : '_';
    return id;
}

// 61943 as tarvel says it: 61,943.
string grouped(size_t n)
{
    string digits = std::to_string(n), s;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            s.push_back(',');
        s.push_back(digits[i]);
    }
    return s;
}

// A string literal of these bytes, as tarvel writes one: a printable byte
// stands as itself, any other and " \\ ? as an octal escape.
string c_string(const string &bytes)
{
    string q = "\"";
    for (unsigned char ch : bytes) {
        char octal[5];
        snprintf(octal, sizeof(octal), "\\%03o", ch);
        q += ch >= ' ' && ch <= '~' && !strchr("\"\\?", ch) ? string(1, ch) : octal;
    }
    return q + "\"";
}

// What is wrong with the list of pages that ends the header of tarvel -z,
// the text after its #define: for each block, in order, an entry whose
// path is "/" and the name of the case's page with the block's identifier,
// then the names of the block's arrays.
string wrong_list(const string &list, const std::vector<string> &ids, const run_case &c)
{
    string expected;
    size_t at = 0;
    for (const string &id : ids) {
        size_t open = list.find("PAGE(", at), end = list.find("\", ", open);
        string path;
        if (end == string::npos ||
            !read_literal(list.substr(open + 5, end - open - 4), path, string::npos))
            return id + ": no entry in the list of pages";
        bool page = std::any_of(c.files.begin(), c.files.end(), [&](const entry &e) {
            return "/" + e.name == path && identifier(e.name) == id;
        });
        if (!page)
            return id + ": its entry names no page of that identifier: " + path;
        expected += " \\\r\n    PAGE(" + c_string(path) + ", " + id + ", " + id + "_gz, " + id +
                    "_gz_len, " + id + "_etag)";
        at = end;
    }
    expected += "\r\n";
    return list == expected ? "" : "the list of pages is not its blocks': " + list;
}

string without_twins(const string &h, string &wrong, const run_case &c)
{
    string rest;
    std::vector<string> ids;
    const string list = "#define tarvel_pages(PAGE)";
    for (size_t at = 0; at < h.size() && wrong.empty();) {
        if (h.compare(at, list.size(), list) == 0) {
            wrong = wrong_list(h.substr(at + list.size()), ids, c);
            break;
        }
        const string start = "const char ", mid = "[] PROGMEM = R\"";
        size_t mid_at = h.find(mid, at), paren = h.find('(', mid_at);
        if (h.compare(at, start.size(), start) != 0 || paren == string::npos) {
            wrong = "not a block: " + h.substr(at, 60);
            break;
        }
        string id = h.substr(at + start.size(), mid_at - at - start.size());
        string close = ")";
        close += h.substr(mid_at + mid.size(), paren - mid_at - mid.size()) + "\";\r\n";
        size_t end = h.find(close, paren);
        if (end == string::npos) {
            wrong = id + ": no end";
            break;
        }
        string text = h.substr(paren + 1, end - paren - 1);
        rest += h.substr(at, end + close.size() - at);
        ids.push_back(id);
        at = end + close.size();

        string gz, line, decl = "const unsigned char " + id + "_gz[] PROGMEM =\r\n";
        bool literal = h.compare(at, decl.size(), decl) == 0;
        for (at += decl.size(); literal && (line.empty() || line.back() != ';'); at += 2) {
            size_t eol = h.find("\r\n", at);
            line = h.substr(at, eol - at);
            literal = eol != string::npos && read_literal(line, gz);
            at = eol;
        }
        bool ok;
        string plain = gunzip(reinterpret_cast<const unsigned char *>(gz.data()), gz.size(), ok);
        string read; // the text as a compiler reads it
        for (size_t i = 0; i < text.size(); i++)
            if (text.compare(i, 2, "\r\n") != 0)
                read += text[i];
        char crc[9];
        snprintf(crc, sizeof(crc), "%08lx",
                 crc32(0, reinterpret_cast<const unsigned char *>(gz.data()), gz.size()));
        string tail = "const unsigned long " + id + "_gz_len = " + std::to_string(gz.size()) +
                      ";\r\nconst char " + id + "_etag[] = \"\\\"" + crc + "\\\"\";\r\n";
        if (!literal)
            wrong = id + ": no twin";
        else if (!ok || plain != read)
            wrong = id + ": the twin does not inflate to the block's text";
        else if (h.compare(at, tail.size(), tail) != 0)
            wrong = id + ": no length and ETag: " + h.substr(at, tail.size());
        at += tail.size();
    }
    return rest;
}

// Sets up the case's files in a fresh folder, runs tarvel there and compares.
// With gzip, tarvel runs with -z: the header must be the same but for a
// gzip twin after each block.
void check(const run_case &c, bool gzip = false)
{
    for (const string &v : c.env)
        if (v.rfind("LC_ALL=", 0) == 0) {
            locale_t l = newlocale(LC_ALL_MASK, v.c_str() + 7, nullptr);
            SKIP_UNLESS(l, "the locale "
                               << v.substr(7)
                               << " is missing (localedef -i en_US -f UTF-8 en_US.UTF-8)");
            freelocale(l);
        }
    scratch dir;
    const fs::path &root = dir.root, &pages = dir.pages;
    ASSERT_TRUE(fs::is_directory(root));
    if (c.disk_kb) {
        dir.mounted = mount_tmpfs(root, c.disk_kb);
        SKIP_UNLESS(dir.mounted, "a tmpfs cannot be mounted here: the tests must run as root");
    }
    chmod(root.c_str(), 0755);
    fs::create_directory(pages);
    for (const entry &e : c.files)
        make(pages, e);
    if (c.as_nobody)
        fs::copy_file(TARVEL, dir.tool);

    run_case with = c;
    if (gzip)
        with.args = {"-z"};
    result r = run(dir, with);
    EXPECT_EQ(r.out, c.report);
    if (c.errors != anything) {
        EXPECT_EQ(r.err, c.errors);
    }
    EXPECT_EQ(r.status, c.status);
    string header = slurp(root / "htmls.h"), wrong;
    bool kept = std::any_of(c.files.begin(), c.files.end(),
                            [&](const entry &e) { return e.name == "../htmls.h"; }) &&
                header == c.header;
    if (gzip && !kept && header != no_file)
        header = without_twins(header, wrong, c);
    EXPECT_EQ(header, c.header);
    EXPECT_EQ(wrong, "");
    if (c.list != no_file) {
        EXPECT_EQ(slurp(pages / "list.txt"), c.list);
    }
    string letters; // of the options given: a run takes -a, -z and -k once each, -k with both
    for (const string &a : with.args)
        if (a.size() > 2 && a[0] == '-' && a[1] != '-')
            letters += a.substr(1); // short options run together
        else if (a != "--")
            letters += a == "-z" || a == "--gzip"         ? "z"
                       : a == "-a" || a == "--assets"     ? "a"
                       : a == "-k" || a == "--keep-files" ? "k"
                                                          : "?";
    std::sort(letters.begin(), letters.end());
    if (letters != "" && letters != "z" && letters != "a" && letters != "az" && letters != "akz") {
        EXPECT_FALSE(fs::exists(pages / "list.txt")) << "options must not start a run";
    }
    struct stat st;
    if (c.header_untouched) {
        EXPECT_TRUE(stat((root / "htmls.h").c_str(), &st) == 0 && st.st_mtime == made_at)
            << "the header was rewritten";
    }
    for (const entry &e : c.after) {
        fs::path p = pages / e.name;
        if (e.type == kind::link) {
            EXPECT_TRUE(fs::is_symlink(p) && fs::read_symlink(p) == e.bytes) << e.name;
        } else if (!gzip || e.name != "../htmls.h") {
            EXPECT_EQ(slurp(p), e.bytes) << e.name;
        }
        if (e.mode) {
            EXPECT_TRUE(stat(p.c_str(), &st) == 0 && (st.st_mode & 07777) == e.mode) << e.name;
        }
    }
    EXPECT_EQ(left_behind(root, c), std::vector<string>{});
}

class tarvel_run : public testing::TestWithParam<run_case>
{
};

TEST_P(tarvel_run, behaves)
{
    check(GetParam());
}

// With -z every rule holds as without it; the header only gains the twins.
class tarvel_gzip : public testing::TestWithParam<run_case>
{
};

TEST_P(tarvel_gzip, behaves_alike)
{
    check(GetParam(), true);
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

// Runs a case in a fresh folder of its files, for a test that looks at the
// header itself; the header goes to `header`.
result run_fresh(const run_case &c, string &header)
{
    scratch dir;
    fs::create_directory(dir.pages);
    for (const entry &e : c.files)
        make(dir.pages, e);
    result r = run(dir, c);
    header = slurp(dir.root / "htmls.h");
    return r;
}

// -z compresses a page whole, up to a limit far above any flash: a larger
// page keeps its block but gets no twin, and fails the run.
TEST(tarvel_big, page_too_big_to_compress)
{
    const string huge(16 << 20, 'h');
    run_case c = {"pages", {{"a.html", huge + "x"}, {"b.html", "B"}}, "", ""};
    c.args = {"-z"};
    string header;
    result r = run_fresh(c, header);
    EXPECT_EQ(r.out, banner + "a.html\nCan't compress file a.html: over 16777216 bytes of text\n"
                              "b.html\n2 files processed.\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(header.rfind(block("a_html", huge + "x\r\n") + block("b_html", "B\r\n") +
                               "const unsigned char b_html_gz[]",
                           0),
              0u);
    const string list = "#define tarvel_pages(PAGE) \\\r\n"
                        "    PAGE(\"/a.html\", a_html, nullptr, 0, nullptr) \\\r\n"
                        "    PAGE(\"/b.html\", b_html, b_html_gz, b_html_gz_len, b_html_etag)\r\n";
    EXPECT_EQ(header.substr(header.size() - std::min(header.size(), list.size())), list);
}

// The same pages give the same header, whatever the folder, the time or the
// spelling of the option.
TEST(tarvel_gzip_twins, same_header_on_every_run)
{
    run_case c = {"pages", {{"a.html", "  <p>A</p>\n"}, {"b.html", string(5000, 'b')}}, "", ""};
    string first;
    for (const char *option : {"-z", "--gzip"}) {
        c.args = {option};
        string header;
        EXPECT_EQ(run_fresh(c, header).status, 0);
        EXPECT_NE(header.find("b_html_gz_len"), string::npos);
        if (first.empty())
            first = header;
        EXPECT_EQ(header, first) << option;
    }
}

// More pages than the names of a shell's argument list can hold. Empty, in
// memory: this disk takes a millisecond to make a file.
TEST(tarvel_big, a_hundred_and_ten_thousand_pages)
{
    run_case many = numbered_pages("a_hundred_and_ten_thousand_pages", 110000);
    many.header.clear();
    for (entry &e : many.files) {
        e.bytes.clear();
        many.header += block(e.name.substr(0, 7) + "_html", "");
    }
    many.disk_kb = 32 << 10;
    check(many);
}

// Preloaded, makes tarvel's file system one without unnamed files, so that
// it falls back to named temporary files.
const char asan_preload[] = "ASAN_OPTIONS=verify_asan_link_order=0"; // a library before ASan
const std::vector<string> no_unnamed_files = {"LD_PRELOAD=" NO_TMPFILE, asan_preload};

// The environment of a run whose call `what` fails (faults.cpp).
std::vector<string> failing(const string &what)
{
    return {"LD_PRELOAD=" FAULTS, asan_preload, "TARVEL_FAULT=" + what};
}

// A signal that reaches a run halfway: whether the caller ignored it, so that
// the run must carry on, and whether the run writes named temporary files.
struct stop {
    int sig;
    bool ignored = false;
    bool named = false;
    bool no_header = false; // a folder stands at ../htmls.h: the run ends as it reports
};

// Interrupted halfway, a run leaves the old header as it was and no file of
// its own, whatever the signal; one the caller ignored does not stop it.
// tarvel is stopped while it waits to print page names on a pipe that
// nobody reads, its header flushed as it grows; for SIGPIPE, the reader
// goes away, which costs the report (exit status 1) but not the header.
TEST(tarvel_interrupted, keeps_the_old_header)
{
    const stop stops[] = {{SIGINT},
                          {SIGTERM},
                          {SIGHUP},
                          {SIGPIPE},
                          {SIGQUIT},
                          {SIGUSR1},
                          {SIGALRM},
                          {SIGXCPU},
                          {SIGRTMIN + 1},
                          {SIGKILL},
                          {SIGHUP, true},
                          {SIGINT, true},
                          {SIGTERM, false, true},
                          {SIGQUIT, false, true},
                          {SIGTERM, false, false, true}};
    for (const stop &s : stops) {
        SCOPED_TRACE(string(strsignal(s.sig)) + (s.ignored ? ", ignored" : "") +
                     (s.named ? ", named temporary files" : "") +
                     (s.no_header ? ", a folder at ../htmls.h" : ""));
        scratch dir;
        const fs::path &root = dir.root, &pages = dir.pages;
        ASSERT_TRUE(fs::create_directory(pages));
        if (s.no_header)
            fs::create_directory(root / "htmls.h");
        else
            std::ofstream(root / "htmls.h") << "old";
        // The first page makes the header large enough to be flushed as
        // it grows: the signal comes while that goes on. Where there is no
        // header to write, the pipe is full from the start, and the signal
        // comes as the run waits to report that, its listing made.
        for (int i = 0; i < (s.no_header ? 1 : 700); i++)
            std::ofstream(pages / (string(200, 'n') + std::to_string(i) + ".html"))
                << (i ? std::to_string(i) : string(9000000, 'x'));

        int pipe_fds[2];
        ASSERT_EQ(pipe(pipe_fds), 0);
        for (char fill[4096] = {}; s.no_header && fcntl(pipe_fds[1], F_SETFL, O_NONBLOCK) == 0 &&
                                   write(pipe_fds[1], fill, sizeof(fill)) > 0;)
            ;
        fcntl(pipe_fds[1], F_SETFL, 0);
        pid_t pid = fork();
        if (pid == 0) {
            const rlimit no_core = {0, 0};
            if (chdir(pages.c_str()) != 0 || dup2(pipe_fds[1], STDOUT_FILENO) < 0 ||
                setrlimit(RLIMIT_CORE, &no_core) != 0 || (s.ignored && signal(s.sig, SIG_IGN)))
                _exit(127);
            for (const string &v : no_unnamed_files)
                if (s.named)
                    putenv(const_cast<char *>(v.c_str()));
            close(pipe_fds[0]);
            alarm(20);
            execl(TARVEL, TARVEL, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipe_fds[1]);
        int capacity = fcntl(pipe_fds[0], F_GETPIPE_SZ), waiting = 0, st = 0;
        while (ioctl(pipe_fds[0], FIONREAD, &waiting) == 0 &&
               (waiting < capacity || !fs::exists(pages / "list.txt")) &&
               waitpid(pid, &st, WNOHANG) == 0)
            usleep(1000);
        ASSERT_EQ(waiting, capacity) << "tarvel ended before it could be interrupted";
        if (s.no_header)
            usleep(100000); // into its wait for the pipe

        if (s.sig == SIGPIPE)
            close(pipe_fds[0]);
        else
            kill(pid, s.sig);
        for (char buf[4096]; s.ignored && read(pipe_fds[0], buf, sizeof(buf)) > 0;)
            ; // let the run go on to its end
        // A run that holds the signal waits for the pipe: it gets a second.
        for (int ms = 0; ms < 1000 && waitpid(pid, &st, WNOHANG) == 0; ms++)
            usleep(1000);
        if (waitpid(pid, &st, WNOHANG) == 0)
            close(pipe_fds[0]), pipe_fds[0] = -1;
        waitpid(pid, &st, 0);
        if (s.sig != SIGPIPE && pipe_fds[0] >= 0)
            close(pipe_fds[0]);
        if (s.ignored || s.sig == SIGPIPE) {
            EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == (s.ignored ? 0 : 1)) << "status " << st;
            EXPECT_EQ(slurp(root / "htmls.h").rfind("const char n", 0), 0u);
        } else {
            EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == s.sig) << "status " << st;
            EXPECT_EQ(slurp(root / "htmls.h"), s.no_header ? no_file : "old");
        }
        EXPECT_EQ(left_behind(root, {}), std::vector<string>{});
    }
}

// Two runs at once in one folder, the second started at several moments of
// the first: each converts every page of its listing, whatever the other
// does to list.txt, and the header left is the whole header.
TEST(tarvel_at_once, two_runs_in_one_folder)
{
    const run_case c = numbered_pages("two_runs", 2000);
    scratch dir;
    ASSERT_TRUE(fs::create_directory(dir.pages));
    for (const entry &e : c.files)
        make(dir.pages, e);
    const fs::path out2 = dir.root / "second.stdout", err2 = dir.root / "second.stderr";
    string listing;
    for (const entry &e : c.files)
        listing += e.name + "\n";
    for (int delay_us : {0, 3000, 6000, 10000, 15000}) {
        SCOPED_TRACE("second run after " + std::to_string(delay_us) + " us");
        pid_t first = start(dir, c, dir.out, dir.err);
        usleep(delay_us);
        pid_t second = start(dir, c, out2, err2);
        EXPECT_EQ(wait_for(first), 0);
        EXPECT_EQ(wait_for(second), 0);
        EXPECT_EQ(slurp(dir.out), c.report);
        EXPECT_EQ(slurp(out2), c.report);
        EXPECT_EQ(slurp(dir.root / "htmls.h"), c.header);
        EXPECT_EQ(slurp(dir.pages / "list.txt"), listing);
    }
}

const string usage =
    "usage: tarvel [-a | --assets] [-z | --gzip] [-k | --keep-files]\n"
    "       tarvel -h | --help | --version\n"
    "Run in a folder of HTML pages: lists its *.html pages in list.txt and puts them\n"
    "as PROGMEM raw strings (-z: and gzip twins) in ../htmls.h, whole or not at all;\n"
    "-a: every file of the folder and its subfolders, with its type, in one list;\n"
    "-a -z: each file or its gzip twin, whichever is smaller (-k: both).\n";

const string long_name = string(250, 'n') + ".html"; // 255 bytes, the most Linux allows
const string x10000 = string(10000, 'x');
const string every_byte = [] {
    string s;
    for (int c = 0; c < 256; c++)
        s += static_cast<char>(c);
    return s;
}();
constexpr size_t read_block = TARVEL_BLOCK; // what tarvel reads of a page at a time

// What a command line of no known meaning prints first.
string no_such_option(const string &a)
{
    return "tarvel: " + a + ": no such option\n";
}
string no_file_names(const string &a)
{
    return "tarvel: " + a + ": tarvel takes no file names; run it in the folder of pages\n";
}
string no_combining(const string &a, const string &with)
{
    return "tarvel: " + a + ": does not combine with " + with + "\n";
}
string keeps_only_with_both(const string &a)
{
    return "tarvel: " + a + ": keeps files beside their twins, with -a and -z only\n";
}

// What a run prints of a page that is the header.
string is_the_header(const string &page)
{
    return "Can't convert file " + page + ": it is ../htmls.h";
}

// What a run prints that stops at the listing or the header.
const string cannot_list = banner + "Can't write file list.txt\n";
const string cannot_open_header = banner + "Can't open file ../htmls.h\n";

// A page that holds )" and every one of )html", )html1" ... )html60000".
string taker_of_delimiters()
{
    string s = "<p>)\"</p>\n<p>)html\"</p>\n";
    for (int i = 1; i <= 60000; i++)
        s += "<p>)html" + std::to_string(i) + "\"</p>\n";
    return s;
}

// The text of a block of these lines.
string lines(const std::vector<string> &ls)
{
    string text;
    for (const string &l : ls)
        text += l + "\r\n";
    return text;
}

// A folder of one page, p.html, whose block holds this text.
run_case page_row(const string &name, const string &page, const string &text,
                  const string &delim = "")
{
    return {name, {{"p.html", page}}, report({"p.html"}, 1), block("p_html", text, delim)};
}

// A run that cannot make its listing: it converts nothing, and the old
// header stays untouched.
run_case listing_fails(run_case c)
{
    c.files.insert(c.files.begin(), {"../htmls.h", "old"});
    c.report = cannot_list, c.header = "old", c.status = 1, c.header_untouched = true;
    return c;
}

// A command line that runs nothing: it prints `out` (or, with exit status
// 2, `out` and the usage on standard error) and touches no file.
run_case option_row(const string &name, const std::vector<string> &args, const string &out,
                    int status = 0)
{
    run_case c = {name, {{"../htmls.h", "old"}, {"a.html", "A"}}, out, "old", status, args};
    if (status == 2)
        c.report = "", c.errors = out + usage;
    c.header_untouched = true;
    return c;
}

// A file of the folder's tree that tarvel -a takes: its path, its bytes
// on disk and its type. A page (*.html) must need no line rule but CR LF.
struct taken {
    string path, bytes, type;
    string id = ""; // the identifier, where it is not the path's
};

string crc_of(const string &bytes)
{
    char crc[9];
    snprintf(crc, sizeof(crc), "%08lx",
             crc32(0, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()));
    return crc;
}

// A run of tarvel -a in a folder of these files, which prints these lines
// between the banner and the count of files processed, and takes those of
// `blocks`, in header order: each a raw string (a page) or a literal of its
// bytes, its length and ETag, and an entry in the list of files (a
// folder's index.html two).
// A header of -a: its arrays defined where TARVEL_DEFINE is (C++17, or a
// file that does not define TARVEL_EXTERN), else declared, once however
// often it is included.
const string files_start = "#ifndef tarvel_files\r\n#if __cplusplus >= 201703L\r\n"
                           "#define TARVEL_DEFINE inline\r\n#elif !defined(TARVEL_EXTERN)\r\n"
                           "#define TARVEL_DEFINE extern\r\n#endif\r\n",
             files_end = "\r\n#undef TARVEL_DEFINE\r\n#endif\r\n";

run_case tree_row(const string &name, const std::vector<entry> &files,
                  const std::vector<string> &lines, int processed, const std::vector<taken> &blocks,
                  int status = 0)
{
    run_case c = {name, files, "", files_start, status, {"-a"}};
    string list = "#define tarvel_files(FILE)";
    size_t bytes = 0, stored = 0;
    for (const taken &t : blocks) {
        string id = t.id.empty() ? identifier(t.path) : t.id, served = t.bytes, text = t.bytes;
        bool page = t.path.size() > 5 && t.path.compare(t.path.size() - 5, 5, ".html") == 0;
        c.header += "#ifdef TARVEL_DEFINE\r\nTARVEL_DEFINE ";
        if (page) {
            text.clear();
            for (char ch : t.bytes) // each LF a CR LF
                text += ch == '\n' ? "\r\n" : string(1, ch);
            c.header += block(id, text);
        } else {
            c.header += "const char " + id + "[] PROGMEM =\r\n";
            for (size_t at = 0; at < served.size(); at += 32)
                c.header += (at ? "\r\n" : "") + c_string(served.substr(at, 32));
            c.header += (served.empty() ? "\"\"" : "") + string(";\r\n");
        }
        string len =
            "const unsigned long " + id + "_len = " + std::to_string(served.size()) + ";\r\n";
        c.header += len + "TARVEL_DEFINE const char " + id + "_etag[] = \"\\\"" + crc_of(served) +
                    "\\\"\";\r\n#else\r\nextern const char " + id + "[] PROGMEM;\r\n" + len +
                    "extern const char " + id + "_etag[];\r\n#endif\r\n";
        string arrays =
            ", \"" + t.type + "\", " + id + ", " + id + "_len, nullptr, 0, " + id + "_etag)";
        list += " \\\r\n    FILE(" + c_string("/" + t.path) + arrays;
        size_t folder = t.path.rfind('/') + 1;
        if (t.path.substr(folder) == "index.html")
            list += " \\\r\n    FILE(" + c_string("/" + t.path.substr(0, folder)) + arrays;
        bytes += t.bytes.size(), stored += served.size();
    }
    c.header += list + files_end;
    c.report = report(lines, processed) + std::to_string(blocks.size()) +
               (blocks.size() == 1 ? " file: " : " files: ") + grouped(bytes) + " bytes, " +
               grouped(stored) + " in flash\n";
    return c;
}

// Twenty folders of 199 bytes, one in the other, 4,000 bytes of path with
// their slashes, and these files in the last one.
std::vector<entry> deep_files(const std::vector<entry> &files)
{
    std::vector<entry> all;
    string folder;
    for (int i = 0; i < 20; i++)
        all.push_back({folder += string(199, 'd'), "", kind::folder}), folder += "/";
    for (entry e : files)
        all.push_back((e.name = folder + e.name, e));
    return all;
}

string unknown_type(const string &path)
{
    return "Type of file " + path + " unknown: served as application/octet-stream";
}

// A folder whose one page a.html, beside the case's files, is converted as
// ever.
run_case converts_a(run_case c)
{
    c.files.push_back({"a.html", "A"});
    c.report = report({"a.html"}, 1), c.header = block("a_html", "A\r\n"), c.list = "a.html\n";
    return c;
}

// A page a.html of 200 KB, whose header fills the write buffer three times,
// run over the old header that `old` makes of its new one; on a disk of
// disk_kb, should it be given.
run_case over_old(const string &name, string (*old)(string), int disk_kb = 0,
                  const string &fault = "")
{
    string text;
    for (int i = 0; text.size() < 200000; i++)
        text += "<p>line " + std::to_string(i) + "</p>\r\n";
    string header = block("a_html", text), was = old(header);
    run_case c = {.name = name,
                  .files = {{"../htmls.h", was}, {"a.html", text}},
                  .report = report({"a.html"}, 1),
                  .header = header,
                  .list = "a.html\n",
                  .header_untouched = was == header,
                  .disk_kb = disk_kb};
    if (!fault.empty())
        c.env = failing(fault);
    if (disk_kb || !fault.empty()) // no room for both headers, or the old one cut short
        c.report += "Can't write file ../htmls.h\n", c.header = was, c.status = 1;
    return c;
}

// A page a.html whose header of 17 MB is flushed to disk as it grows,
// twice, over the old header "old"; `fault` names a call that fails.
run_case flushed_as_it_grows(const string &name, const string &fault = "")
{
    run_case c = over_old(name, [](string) { return string("old"); });
    string &text = c.files[1].bytes;
    for (int i = 0; text.size() < 17000000; i++)
        text += "<p>line " + std::to_string(i) + "</p>\r\n";
    c.header = block("a_html", text);
    if (!fault.empty())
        c.env = failing(fault);
    if (fault == "flush")
        c.report += "Can't write file ../htmls.h\n", c.header = "old", c.status = 1,
                                                     c.header_untouched = true;
    return c;
}

// Made only when it runs, as the 50 MB page is: with no fault, with no thread
// to flush the header and with a flush that fails; with -z too, as a row of
// the table would be.
TEST(tarvel_big, large_header_flushed_as_it_grows)
{
    for (const char *fault : {"", "threads", "flush"}) {
        SCOPED_TRACE(*fault ? fault : "no fault");
        run_case c = flushed_as_it_grows("large_header_flushed_as_it_grows", fault);
        check(c);
        if (!c.header_untouched)
            check(c, true);
    }
}

// A run beside a page a.html that cannot open the header: it converts
// nothing, and what stood at ../htmls.h, `header`, stays as it was.
run_case header_fails(run_case c, const string &header = no_file)
{
    c.files.push_back({"a.html", "A"});
    c.report = cannot_open_header, c.header = header, c.status = 1;
    c.header_untouched = header != no_file;
    return c;
}

// These files and n empty pages of long names, which fill a listing fast.
std::vector<entry> long_named_pages(int n, std::vector<entry> files)
{
    for (int i = 0; i < n; i++)
        files.push_back({string(200, 'a' + i / 9) + std::to_string(i % 9 + 1) + ".html", ""});
    return files;
}

// The same run with standard output on /dev/full.
run_case on_full_output(run_case c)
{
    c.report = "", c.status = 1, c.errors = "Can't write standard output\n";
    c.std_streams = streams::full;
    return c;
}

std::vector<run_case> cases()
{
    std::vector<run_case> t = {
        // The run as a whole.
        {.name = "two_pages_in_listing_order",
         .files = {{"index.html", "<p>i</p>\n"}, {"about.html", "<p>a</p>\n"}},
         .report = report({"about.html", "index.html"}, 2),
         .header = block("about_html", "<p>a</p>\r\n") + block("index_html", "<p>i</p>\r\n"),
         .list = "about.html\nindex.html\n"},
        {.name = "folder_without_pages",
         .files = {{"notes.txt", "x"}},
         .report = report({}, 0),
         .header = "",
         .list = ""},

        // The line rules.
        page_row("indent_and_empty_lines_go", "  A\n\n\t\nB", "A\r\n\r\nB\r\n"),
        page_row("crlf_page_gives_the_same", "  A\r\n\r\n\t\r\nB", "A\r\n\r\nB\r\n"),
        page_row("inner_and_trailing_spaces_stay", "\t<p>a  b</p> \t\n", "<p>a  b</p> \t\r\n"),
        page_row("empty_page", "", ""),
        page_row("cr_cr_lf_is_a_line_cr_lf_is_not", "a\r\n\r\r\n\r\nb\r\r\n", "a\r\n\r\nb\r\r\n"),
        page_row("cr_only_page_is_one_line", "  A\r  B\r", "A\r  B\r\n"),
        page_row("up_to_two_crs_end_the_page", "a\nb\r\r\r", "a\r\nb\r\r\n"),
        page_row("vertical_tab_and_form_feed_are_text", "\v  a\n\f\tb\n", "\v  a\r\n\f\tb\r\n"),
        page_row("utf8_passes", "  <p>café ☕</p>\n", "<p>café ☕</p>\r\n"),
        page_row("zero_bytes_are_text", string("a\0b\n\0c\n  \0", 10),
                 string("a\0b\r\n\0c\r\n\0\r\n", 12)),
        page_row("long_line_is_not_split", "  " + x10000 + "  \t " + x10000 + "\n",
                 x10000 + "  \t " + x10000 + "\r\n"),
        page_row("line_of_9999_bytes", string(9999, 'y') + "\nz", string(9999, 'y') + "\r\nz\r\n"),

        // Preformatted text keeps its lines as they stand.
        page_row("pre_keeps_indent_and_empty_lines",
                 "<body>\n  <pre>\n  a\n\n    b\n  </pre>\n  x\n",
                 lines({"<body>", "<pre>", "  a", "", "    b", "  </pre>", "x"})),
        page_row("textarea_holds_raw_text", "<textarea>\n  <pre>\n  a</textarea>\n  b\n",
                 lines({"<textarea>", "  <pre>", "  a</textarea>", "b"})),
        page_row("xmp_holds_raw_text", "<xmp>\n  <textarea>\n  a</textarea>\n  b</xmp>\n  c\n",
                 lines({"<xmp>", "  <textarea>", "  a</textarea>", "  b</xmp>", "c"})),
        page_row("pre_and_listing_nest", "<pre>\n <listing>\n  a\n </pre>\n  b\n</LISTING>\n  c\n",
                 lines({"<pre>", " <listing>", "  a", " </pre>", "  b", "</LISTING>", "c"})),
        page_row("end_tags_close_no_more_than_is_open", "</pre>\n</pre>\n  a\n<pre>\n  b\n",
                 lines({"</pre>", "</pre>", "a", "<pre>", "  b"})),
        page_row("tag_names_in_any_case", "<PRE class=x>\n  a\n</Pre >\n  b\n",
                 lines({"<PRE class=x>", "  a", "</Pre >", "b"})),
        page_row("attributes_on_the_next_line", "<pre\n  class=\"log\">\n  a\n</pre>\n  b\n",
                 lines({"<pre", "  class=\"log\">", "  a", "</pre>", "b"})),
        page_row("look_alike_names", "<prefix>\n  a\n<pre-x>\n  b\n<preview>\n  c\n  <pre",
                 lines({"<prefix>", "a", "<pre-x>", "b", "<preview>", "c", "<pre"})),
        page_row("zero_byte_ends_no_tag_name", string("<PRE\0<PRE\n  a\n", 13),
                 lines({string("<PRE\0<PRE", 9), "  a"})),
        page_row("tag_in_a_comment_counts", "<!-- <pre> -->\n  a\n",
                 lines({"<!-- <pre> -->", "  a"})),
        page_row("unclosed_pre_runs_to_the_end", "<pre>\n  a\n\n\r",
                 lines({"<pre>", "  a", "", ""})),
        page_row("crlf_page_with_a_textarea",
                 "<textarea>\r\n  x\r\n\r\n\r\r\n</textarea>\r\n  y\r\n",
                 lines({"<textarea>", "  x", "", "\r", "</textarea>", "y"})),
        page_row("preformatted_line_longer_than_a_block",
                 "<pre>\n  " + string(read_block, 'l') + "\n</pre>\n",
                 lines({"<pre>", "  " + string(read_block, 'l'), "</pre>"})),
        page_row("tag_across_a_block_end", string(read_block - 2, 'x') + "<pre>\n  a\n",
                 lines({string(read_block - 2, 'x') + "<pre>", "  a"})),

        // Read blocks: nothing is lost or changed where one ends.
        page_row("page_one_byte_longer_than_a_block", string(read_block, 'b') + "c",
                 string(read_block, 'b') + "c\r\n"),
        page_row("cr_ends_a_block_and_text_follows", string(read_block - 1, 'b') + "\rc",
                 string(read_block - 1, 'b') + "\rc\r\n"),

        // The raw string delimiter.
        page_row("quote_paren_gets_a_delimiter", "<a onclick=\"go()\">x</a>\n",
                 "<a onclick=\"go()\">x</a>\r\n", "html"),
        page_row("next_free_delimiter", "f(\"a\")\")html\" )html2\"\n",
                 "f(\"a\")\")html\" )html2\"\r\n", "html1"),
        page_row("no_quote_paren_no_delimiter", "x )html\" y\n", "x )html\" y\r\n"),
        page_row("html0_closes_no_delimiter", "x )html0\" y\n", "x )html0\" y\r\n"),
        page_row("quote_paren_as_the_last_bytes", "x)\"", "x)\"\r\n", "html"),
        page_row("quote_paren_across_a_block_end", string(read_block - 1, 'q') + ")\"\n",
                 string(read_block - 1, 'q') + ")\"\r\n", "html"),
        page_row(
            "sixty_thousand_delimiters_taken", taker_of_delimiters(),
            [] {
                string s = taker_of_delimiters(), text;
                for (size_t at = 0, lf; (lf = s.find('\n', at)) != string::npos; at = lf + 1)
                    text += s.substr(at, lf - at) + "\r\n";
                return text;
            }(),
            "html60001"),

        // Names and identifiers.
        {.name = "identifiers_that_compile",
         .files = {{"404.html", "a"},
                   {"my page.html", "b"},
                   {"site-map.en.html", "c"},
                   {"ok_1.html", "d"},
                   {"café.html", "e"},
                   {"-n.html", "f"},
                   {"4.html", "g"},
                   {"a\x7f.html", "h"}},
         .report = report({"-n.html", "4.html", "404.html", "a\x7f.html", "café.html",
                           "my page.html", "ok_1.html", "site-map.en.html"},
                          8),
         .header = block("_n_html", "f\r\n") + block("_4_html", "g\r\n") +
                   block("_404_html", "a\r\n") + block("a__html", "h\r\n") +
                   block("caf___html", "e\r\n") + block("my_page_html", "b\r\n") +
                   block("ok_1_html", "d\r\n") + block("site_map_en_html", "c\r\n")},
        {.name = "names_that_a_path_escapes",
         .files = {{"q\"b\\s?\?=\x01.html", "x"}},
         .report = report({"q\"b\\s?\?=\x01.html"}, 1),
         .header = block("q_b_s_____html", "x\r\n")},
        {.name = "identifier_already_used",
         .files = {{"a-b.html", "1"},
                   {"a_b.html", "2"},
                   {"1.html", "3"},
                   {"_1.html", "4"},
                   {"café.html", "5"},
                   {"cafè.html", "6"}},
         .report = report(
             {"1.html", "_1.html", "Can't convert file _1.html: _1_html is already used",
              "a-b.html", "a_b.html", "Can't convert file a_b.html: a_b_html is already used",
              "cafè.html", "café.html", "Can't convert file café.html: caf___html is already used"},
             6),
         .header =
             block("_1_html", "3\r\n") + block("a_b_html", "1\r\n") + block("caf___html", "6\r\n"),
         .status = 1},
        {.name = "page_that_cannot_be_opened_uses_no_identifier",
         .files = {{"a-b.html", "gone", kind::link}, {"a_b.html", "B"}},
         .report = report({"a-b.html", "Can't open file a-b.html", "a_b.html"}, 2),
         .header = block("a_b_html", "B\r\n"),
         .status = 1},
        {.name = "final_html_is_cut",
         .files = {{"index.html.html", "double"}, {"index.html", "single"}},
         .report = report({"index.html", "index.html.html"}, 2),
         .header = block("index_html", "single\r\n") + block("index_html_html", "double\r\n")},
        {.name = "names_of_any_length",
         .files = {{string(95, 'm') + ".html", "m"}, {long_name, "n"}},
         .report = report({string(95, 'm') + ".html", long_name}, 2),
         .header = block(string(95, 'm') + "_html", "m\r\n") +
                   block(string(250, 'n') + "_html", "n\r\n")},
        {.name = "newline_in_a_name_loses_no_later_page",
         .files = {{"a\nb.html", "x"}, {"z.html", "z"}},
         .report = report({"b.html", "Can't open file b.html", "z.html"}, 2),
         .header = block("z_html", "z\r\n"),
         .status = 1},

        // The listing: byte order, whatever the caller's environment.
        {.name = "byte_order_whatever_the_locale",
         .files = {{"a.html", "1"},
                   {"ä.html", "2"},
                   {"B.html", "3"},
                   {"_x.html", "4"},
                   {"Zeta.html", "5"}},
         .report = report({"B.html", "Zeta.html", "_x.html", "a.html", "ä.html"}, 5),
         .header = block("B_html", "3\r\n") + block("Zeta_html", "5\r\n") +
                   block("_x_html", "4\r\n") + block("a_html", "1\r\n") + block("___html", "2\r\n"),
         .list = "B.html\nZeta.html\n_x.html\na.html\nä.html\n",
         .env = {"LC_ALL=en_US.UTF-8"}},
        {.name = "listing_ignores_the_environment",
         .files = {{"b c.html", "1"}, {"a.html", "2"}},
         .report = report({"a.html", "b c.html"}, 2),
         .header = block("a_html", "2\r\n") + block("b_c_html", "1\r\n"),
         .list = "a.html\nb c.html\n",
         .env = {"QUOTING_STYLE=shell-always", "TIME_STYLE=+%s", "COLUMNS=10",
                 "LS_COLORS=*.html=01;31", "BLOCK_SIZE=1", "POSIXLY_CORRECT=1",
                 "BASH_FUNC_ls%%=() { echo x.html; }"}},
        listing_fails({.name = "no_ls_on_the_path",
                       .files = {{"list.txt", "a.html\n"}, {"a.html", "A"}, {"b.html", "B"}},
                       .env = {"PATH=../nowhere"}}),
        listing_fails({.name = "ls_killed",
                       .files = {{"../bin", "", kind::folder},
                                 {"../bin/ls", "#!/bin/sh\nkill -KILL $$\n", kind::program},
                                 {"a.html", "A"}},
                       .errors = anything,
                       .env = {"PATH=../bin"}}),
        listing_fails({.name = "list_txt_is_a_folder",
                       .files = {{"list.txt", "", kind::folder}, {"a.html", "A"}}}),
        listing_fails({.name = "list_txt_is_a_fifo",
                       .files = {{"list.txt", "", kind::fifo}, {"a.html", "A"}}}),
        listing_fails({.name = "list_txt_is_read_only",
                       .files = {{"list.txt", "old.html\n", kind::file, 0444}, {"new.html", "N"}},
                       .after = {{"list.txt", "old.html\n"}}}),
        listing_fails({.name = "folder_cannot_be_written",
                       .files = {{"new.html", "N"}, {".", "", kind::folder, 0555}},
                       .as_nobody = true}),
        listing_fails({.name = "listing_on_a_full_disk",
                       .files = long_named_pages(20, {{"../filler", string(15 * 4096, 'f')}}),
                       .disk_kb = 64}),

        // A link at list.txt is replaced by the listing, never written through.
        converts_a({.name = "list_txt_links_to_a_page",
                    .files = {{"list.txt", "a.html", kind::link}},
                    .after = {{"a.html", "A"}}}),
        converts_a({.name = "list_txt_is_a_hard_link",
                    .files = {{"../notes", "keep"}, {"list.txt", "../notes", kind::hard_link}},
                    .after = {{"../notes", "keep"}}}),
        converts_a({.name = "list_txt_dangling_link",
                    .files = {{"list.txt", "gone.txt", kind::link}},
                    .after = {{"gone.txt", no_file}}}),
        converts_a({.name = "list_txt_links_to_a_device",
                    .files = {{"list.txt", "/dev/full", kind::link}}}),
        header_fails({.name = "list_txt_links_to_the_header",
                      .files = {{"../htmls.h", "old", kind::file, 0444},
                                {"list.txt", "../htmls.h", kind::link}},
                      .list = "a.html\n"},
                     "old"),

        // The header: replaced whole, or not at all.
        converts_a({.name = "header_is_replaced", .files = {{"../htmls.h", "old"}}}),
        converts_a({.name = "unchanged_header_is_left_alone",
                    .files = {{"../htmls.h", block("a_html", "A\r\n")}},
                    .header_untouched = true}),
        // It is held against the old header as it is written.
        over_old("long_unchanged_header_is_left_alone", [](string h) { return h; }),
        over_old("header_that_differs_at_its_first_byte", [](string h) { return "x" + h; }),
        over_old("header_that_differs_past_the_buffer",
                 [](string h) { return h.replace(100000, 1, "x"); }),
        over_old("header_that_was_shorter", [](string h) { return h.substr(0, h.size() - 1); }),
        over_old("header_that_was_longer", [](string h) { return h + "x"; }),
        over_old(
            "header_that_differs_on_a_full_disk",
            [](string h) { return h.replace(h.size() - 10, 1, "x"); }, 450),
        // An old header that ends before what the new one shares with it
        // was copied fails the run, whatever errno an earlier call left.
        over_old(
            "old_header_cut_short_while_copied",
            [](string h) { return h.replace(h.size() - 10, 1, "x"); }, 0, "copy"),
        converts_a({.name = "header_keeps_its_permissions",
                    .files = {{"../htmls.h", "old", kind::file, 0640}},
                    .after = {{"../htmls.h", block("a_html", "A\r\n"), kind::file, 0640}}}),
        converts_a({.name = "new_header_gets_the_usual_permissions",
                    .after = {{"../htmls.h", block("a_html", "A\r\n"), kind::file, 0644}}}),
        converts_a({.name = "header_link_stays_a_link",
                    .files = {{"../gen", "", kind::folder},
                              {"../gen/htmls.h", "old"},
                              {"../htmls.h", "gen/htmls.h", kind::link}},
                    .after = {{"../htmls.h", "gen/htmls.h", kind::link}}}),
        {.name = "header_on_a_full_disk",
         .files = {{"../htmls.h", "old"}, {"a.html", string(30000, 'a')}},
         .report = report({"a.html"}, 1) + "Can't write file ../htmls.h\n",
         .header = "old",
         .status = 1,
         .header_untouched = true,
         .disk_kb = 64},
        {.name = "header_over_the_file_size_limit",
         .files = {{"../htmls.h", "old"}, {"a.html", string(2 << 20, 'a')}},
         .report = report({"a.html"}, 1) + "Can't write file ../htmls.h\n",
         .header = "old",
         .status = 1,
         .header_untouched = true,
         .file_limit_kb = 1000},
        {.name = "header_is_a_page",
         .files = {{"../htmls.h", "pages/a.html", kind::link}, {"a.html", "A"}, {"b.html", "B"}},
         .report = report({"a.html", is_the_header("a.html"), "b.html"}, 2) +
                   "Can't write file ../htmls.h\n",
         .header = "A",
         .status = 1,
         .after = {{"a.html", "A"}}},
        {.name = "page_is_the_header",
         .files = {{"../htmls.h", "old"}, {"a.html", "A"}, {"h.html", "../htmls.h", kind::link}},
         .report = report({"a.html", "h.html", is_the_header("h.html")}, 2) +
                   "Can't write file ../htmls.h\n",
         .header = "old",
         .status = 1,
         .header_untouched = true},
        {.name = "page_is_a_hard_link_of_the_header",
         .files = {{"../htmls.h", "old"},
                   {"a.html", "A"},
                   {"h.html", "../htmls.h", kind::hard_link}},
         .report = report({"a.html", "h.html", is_the_header("h.html")}, 2) +
                   "Can't write file ../htmls.h\n",
         .header = "old",
         .status = 1,
         .header_untouched = true},
        // Read as a page, the new header would grow as fast as it is read.
        {.name = "pages_that_are_the_run_s_own_files",
         .files = {{"a.html", "A"},
                   {"l.html", "/proc/self/fd/3", kind::link},
                   {"o.html", "/proc/self/fd/1", kind::link},
                   {"z.html", "/proc/self/fd/4", kind::link}},
         .report = report({"a.html", "l.html", "Can't convert file l.html: it is list.txt",
                           "o.html", "Can't convert file o.html: it is standard output", "z.html",
                           is_the_header("z.html")},
                          4),
         .header = block("a_html", "A\r\n"),
         .status = 1},
        {.name = "header_of_two_names",
         .files = {{"../htmls.h", "old"},
                   {"../fw.h", "../htmls.h", kind::hard_link},
                   {"a.html", "A"}},
         .report =
             report({"a.html"}, 1) +
             "Can't write file ../htmls.h: it has 2 names (hard links), and all but one would "
             "keep the old header; make the others symbolic links\n",
         .header = "old",
         .status = 1,
         .after = {{"../fw.h", "old"}},
         .header_untouched = true},
        converts_a({.name = "unchanged_header_of_two_names",
                    .files = {{"../htmls.h", block("a_html", "A\r\n")},
                              {"../fw.h", "../htmls.h", kind::hard_link}},
                    .header_untouched = true}),
        converts_a({.name = "temporary_name_taken", .env = failing("taken")}),
        {.name = "header_cannot_be_put_in_place",
         .files = {{"a.html", "A"}},
         .report = report({"a.html"}, 1) + "Can't write file ../htmls.h\n",
         .header = no_file,
         .status = 1,
         .env = failing("rename")},
        header_fails({.name = "header_folder_is_missing",
                      .files = {{"../htmls.h", "gone/htmls.h", kind::link}}}),
        header_fails({.name = "header_is_a_folder", .files = {{"../htmls.h", "", kind::folder}}}),
        header_fails({.name = "header_is_a_fifo", .files = {{"../htmls.h", "", kind::fifo}}}),
        header_fails(
            {.name = "header_is_a_device", .files = {{"../htmls.h", "/dev/full", kind::link}}}),
        header_fails(
            {.name = "header_is_read_only", .files = {{"../htmls.h", "old", kind::file, 0444}}},
            "old"),

        // Files that cannot be handled.
        {.name = "page_that_cannot_be_opened",
         .files = {{"a.html", "A"}, {"b.html", "missing", kind::link}, {"c.html", "C"}},
         .report = report({"a.html", "b.html", "Can't open file b.html", "c.html"}, 3),
         .header = block("a_html", "A\r\n") + block("c_html", "C\r\n"),
         .status = 1},
        {.name = "folder_and_fifo_are_no_pages",
         .files = {{"d.html", "", kind::folder}, {"f.html", "", kind::fifo}, {"g.html", "G"}},
         .report = report(
             {"d.html", "Can't open file d.html", "f.html", "Can't open file f.html", "g.html"}, 3),
         .header = block("g_html", "G\r\n"),
         .status = 1},
        {.name = "page_that_cannot_be_read",
         .files = {{"a.html", "/proc/self/mem", kind::link}, {"b.html", "B"}},
         .report = report({"a.html", "Can't read file a.html", "b.html"}, 2),
         .header = block("a_html", "") + block("b_html", "B\r\n"),
         .status = 1},

        // The folder's tree, with -a: every file, its bytes as they are.
        tree_row("tree_types_by_extension",
                 {{"a.css", "a{}"},
                  {"b.JS", "1"},
                  {"c.mjs", ""},
                  {"d.json", "{}"},
                  {"e.svg", "<svg/>"},
                  {"f.Png", "\x89PNG"},
                  {"g.jpeg", "J"},
                  {"h.ico", "I"},
                  {"i.woff2", "W"},
                  {"j.wasm", string("\0asm", 4)},
                  {"k.webmanifest", "{}"},
                  {"l.map", "{}"},
                  {"m.txt", "t"},
                  {"n.bin", "?"},
                  {"README", "r"}},
                 {"README", unknown_type("README"), "a.css", "b.JS", "c.mjs", "d.json", "e.svg",
                  "f.Png", "g.jpeg", "h.ico", "i.woff2", "j.wasm", "k.webmanifest", "l.map",
                  "m.txt", "n.bin", unknown_type("n.bin")},
                 15,
                 {{"README", "r", "application/octet-stream"},
                  {"a.css", "a{}", "text/css"},
                  {"b.JS", "1", "text/javascript"},
                  {"c.mjs", "", "text/javascript"},
                  {"d.json", "{}", "application/json"},
                  {"e.svg", "<svg/>", "image/svg+xml"},
                  {"f.Png", "\x89PNG", "image/png"},
                  {"g.jpeg", "J", "image/jpeg"},
                  {"h.ico", "I", "image/x-icon"},
                  {"i.woff2", "W", "font/woff2"},
                  {"j.wasm", string("\0asm", 4), "application/wasm"},
                  {"k.webmanifest", "{}", "application/manifest+json"},
                  {"l.map", "{}", "application/json"},
                  {"m.txt", "t", "text/plain"},
                  {"n.bin", "?", "application/octet-stream"}}),
        tree_row("tree_takes_every_byte_as_it_is",
                 {{"all.css", every_byte + every_byte},
                  {"crs.js", "  a\r\r\n\n  b\r"},
                  {"empty.txt", ""}},
                 {"all.css", "crs.js", "empty.txt"}, 3,
                 {{"all.css", every_byte + every_byte, "text/css"},
                  {"crs.js", "  a\r\r\n\n  b\r", "text/javascript"},
                  {"empty.txt", "", "text/plain"}}),
        [] {
            run_case c = tree_row("tree_in_byte_order_of_paths",
                                  {{"a", "", kind::folder},
                                   {"a/b.txt", "1"},
                                   {"a.txt", "2"},
                                   {"a-c.txt", "3"},
                                   {"B.txt", "4"},
                                   {"d", "", kind::folder},
                                   {"d/e", "", kind::folder},
                                   {"d/e/f", "", kind::folder},
                                   {"d/e/f/g.txt", "5"}},
                                  {"B.txt", "a-c.txt", "a.txt", "a/b.txt", "d/e/f/g.txt"}, 5,
                                  {{"B.txt", "4", "text/plain"},
                                   {"a-c.txt", "3", "text/plain"},
                                   {"a.txt", "2", "text/plain"},
                                   {"a/b.txt", "1", "text/plain"},
                                   {"d/e/f/g.txt", "5", "text/plain"}});
            c.list = "B.txt\na-c.txt\na.txt\na/b.txt\nd/e/f/g.txt\n";
            return c;
        }(),
        tree_row("tree_pages_and_index_pages",
                 {{"docs", "", kind::folder},
                  {"docs/index.html", "<p>d</p>\n"},
                  {"docs/a-b.html", "<p>ab</p>\n"},
                  {"index.html", "<p>i</p>\n"}},
                 {"docs/a-b.html", "docs/index.html", "index.html"}, 3,
                 {{"docs/a-b.html", "<p>ab</p>\n", "text/html"},
                  {"docs/index.html", "<p>d</p>\n", "text/html"},
                  {"index.html", "<p>i</p>\n", "text/html"}}),
        tree_row("tree_leaves_out_dot_names_and_its_listing",
                 {{".git", "", kind::folder},
                  {".git/config", "secret"},
                  {".env", "secret"},
                  {"sub", "", kind::folder},
                  {"sub/.hidden", "secret"},
                  {"list.txt", "old\n"},
                  {"sub/list.txt", "mine"}},
                 {"sub/list.txt"}, 1, {{"sub/list.txt", "mine", "text/plain"}}),
        tree_row("tree_name_to_escape_in_a_subfolder",
                 {{"s p", "", kind::folder}, {"s p/q\"b\\?\x01\xc3\xa9.txt", "x"}},
                 {"s p/q\"b\\?\x01\xc3\xa9.txt"}, 1,
                 {{"s p/q\"b\\?\x01\xc3\xa9.txt", "x", "text/plain"}}),
        tree_row("tree_links",
                 {{"img", "", kind::folder},
                  {"img/a.png", "P"},
                  {".env", "secret"},
                  {"../outside.txt", "secret"},
                  {"again.png", "img/a.png", kind::link},
                  {"dangling.txt", "gone", kind::link},
                  {"dot.txt", ".env", kind::link},
                  {"folder", "img", kind::link},
                  {"out.txt", "../outside.txt", kind::link},
                  {"self.txt", "/proc/self/cwd/img/a.png", kind::link},
                  {"pipe.txt", "", kind::fifo}},
                 {"again.png", "dangling.txt", "Can't open file dangling.txt", "dot.txt",
                  "Can't convert file dot.txt: it links to a name that starts with a dot", "folder",
                  "Can't convert file folder: it links to a folder", "img/a.png", "out.txt",
                  "Can't convert file out.txt: it links outside the folder", "pipe.txt",
                  "Can't open file pipe.txt", "self.txt"},
                 8,
                 {{"again.png", "P", "image/png"},
                  {"img/a.png", "P", "image/png"},
                  {"self.txt", "P", "text/plain"}},
                 1),
        // Files of one identifier get it numbered, the lowest free number
        // first, in the order of the walk: a C++ keyword is taken, and so
        // are the names that a block declares beside its own.
        tree_row("tree_identifiers_that_clash_are_numbered",
                 {{"a-b.js", "1"},
                  {"a_b.js", "2"},
                  {"a.b.js", "3"},
                  {"x.js", "4"},
                  {"x.js.len", "5"},
                  {"x", "", kind::folder},
                  {"x/js.gz", "6"},
                  {"int", "7"},
                  {"int.js", "8"},
                  {"a-gz.etag", "9"},
                  {"a.gz", "10"}},
                 {"a-b.js", "a-gz.etag", unknown_type("a-gz.etag"), "a.b.js", "a.gz", "a_b.js",
                  "int", unknown_type("int"), "int.js", "x.js", "x.js.len",
                  unknown_type("x.js.len"), "x/js.gz"},
                 10,
                 {{"a-b.js", "1", "text/javascript"},
                  {"a-gz.etag", "9", "application/octet-stream"},
                  {"a.b.js", "3", "text/javascript", "a_b_js_2"},
                  {"a.gz", "10", "application/gzip", "a_gz_2"},
                  {"a_b.js", "2", "text/javascript", "a_b_js_3"},
                  {"int", "7", "application/octet-stream", "int_2"},
                  {"int.js", "8", "text/javascript"},
                  {"x.js", "4", "text/javascript"},
                  {"x.js.len", "5", "application/octet-stream", "x_js_len_2"},
                  {"x/js.gz", "6", "application/gzip", "x_js_gz_2"}}),
        tree_row(
            "tree_name_with_a_line_feed",
            {{"a\nb", "", kind::folder}, {"a\nb/c.txt", "x"}, {"d\ne.txt", "x"}, {"f.txt", "F"}},
            {"Can't convert file a?b: its name holds a line feed",
             "Can't convert file d?e.txt: its name holds a line feed", "f.txt"},
            1, {{"f.txt", "F", "text/plain"}}, 1),
        [] {
            run_case c = tree_row("tree_with_a_folder_it_cannot_read",
                                  {{".", "", kind::folder, 0777}, // for nobody
                                   {"..", "", kind::folder, 0777},
                                   {"secret", "", kind::folder},
                                   {"secret/x.txt", "x"},
                                   {"secret", "", kind::folder, 0300},
                                   {"y.txt", "y"}},
                                  {"Can't open folder secret", "y.txt"}, 1,
                                  {{"y.txt", "y", "text/plain"}}, 1);
            c.as_nobody = true;
            return c;
        }(),
        // Paths below the folder of up to 4,095 bytes, wherever the folder
        // lies, and a link among them, followed from the folder itself.
        [] {
            const string folders = deep_files({})[19].name + "/", f = string(91, 'f') + ".txt";
            std::vector<entry> files = deep_files({{f, "x"},
                                                   {"l.txt", f, kind::link},
                                                   {string(92, 'z') + ".txt", "x"},
                                                   {"up.txt",
                                                    "../../../../../../../../../../../../../../../"
                                                    "../../../../../../outside.txt",
                                                    kind::link}});
            files.push_back({"../outside.txt", "secret"});
            return tree_row(
                "tree_paths_up_to_the_limit", files,
                {"Can't convert file " + folders + string(92, 'z') + ".txt: its path is too long",
                 folders + f, folders + "l.txt", folders + "up.txt",
                 "Can't convert file " + folders + "up.txt: it links outside the folder"},
                3, {{folders + f, "x", "text/plain"}, {folders + "l.txt", "x", "text/plain"}}, 1);
        }(),
        tree_row("tree_of_no_files", {{"empty", "", kind::folder}}, {}, 0, {}),
        tree_row("tree_counts_its_bytes_in_thousands", {{"big.txt", string(1234, 'b')}},
                 {"big.txt"}, 1, {{"big.txt", string(1234, 'b'), "text/plain"}}),

        // Standard streams.
        on_full_output(converts_a({.name = "report_that_cannot_be_written"})),

        // Options: none of them touches a file.
        option_row("help", {"--help"}, usage),
        option_row("short_help", {"-h"}, usage),
        option_row("version", {"--version"}, "tarvel " TARVEL_VERSION "\n"),
        option_row("unknown_option", {"-x"}, no_such_option("-x"), 2),
        option_row("option_with_a_value", {"--gzip=1"}, no_such_option("--gzip=1"), 2),
        option_row("options_run_together", {"-zz"}, no_such_option("-zz"), 2),
        option_row("page_given", {"index.html"}, no_file_names("index.html"), 2),
        option_row("extra_argument", {"--help", "x"}, no_file_names("x"), 2),
        option_row("gzip_takes_no_other_argument", {"-z", "x"}, no_file_names("x"), 2),
        option_row("gzip_given_twice", {"--gzip", "-z"}, no_combining("-z", "--gzip"), 2),
        option_row("gzip_with_help", {"-z", "--help"}, no_combining("--help", "-z"), 2),
        option_row("assets_given_twice", {"-a", "-z", "--assets"}, no_combining("--assets", "-a"),
                   2),
        option_row("assets_with_version", {"--assets", "--version"},
                   no_combining("--version", "--assets"), 2),
        option_row("assets_take_no_other_argument", {"-z", "-a", "x"}, no_file_names("x"), 2),
        option_row("keep_files_alone", {"-k"}, keeps_only_with_both("-k"), 2),
        option_row("keep_files_without_gzip", {"-a", "--keep-files"},
                   keeps_only_with_both("--keep-files"), 2),
        option_row("keep_files_given_twice", {"-k", "-a", "-z", "-k"}, no_combining("-k", "-k"), 2),
        option_row("short_options_that_clash", {"-az", "-z"}, no_combining("-z", "-az"), 2),
        option_row("short_options_keep_their_rule", {"-ak"}, keeps_only_with_both("-ak"), 2),
        option_row("help_runs_with_no_other", {"-ah"}, no_such_option("-ah"), 2),
        option_row("file_name_after_two_dashes", {"--", "-a"}, no_file_names("-a"), 2),
        {.name = "short_options_run_together",
         .files = {{"empty", "", kind::folder}},
         .report = report({}, 0) + "0 files: 0 bytes, 0 in flash with -z\n",
         .header = files_start + "#define tarvel_files(FILE)" + files_end,
         .args = {"-za", "--"}},
        on_full_output(option_row("help_that_cannot_be_written", {"--help"}, usage)),
        on_full_output(option_row("version_that_cannot_be_written", {"--version"}, "")),
    };

    // Where the file system has no unnamed files, named temporary files
    // serve, and are gone at the end. A case that preloads a library of its
    // own preloads both.
    for (run_case c : std::vector<run_case>(t)) {
        for (const char *name :
             {"header_is_replaced", "header_keeps_its_permissions", "header_on_a_full_disk",
              "header_over_the_file_size_limit", "list_txt_links_to_a_page",
              "list_txt_is_a_hard_link", "pages_that_are_the_run_s_own_files",
              "header_cannot_be_put_in_place"})
            if (c.name == name) {
                c.name += "_named_temporary_files";
                c.env.insert(c.env.begin(), no_unnamed_files.begin(), no_unnamed_files.end());
                for (string &v : c.env)
                    if (v.rfind("LD_PRELOAD=", 0) == 0 && v != no_unnamed_files[0])
                        v.insert(11, string(NO_TMPFILE) + " ");
                t.push_back(c);
            }
    }

    t.push_back(numbered_pages("two_thousand_pages", 2000));
    // The record of identifiers outgrows its buffer of 16 KiB: 1,260 lines
    // of 13 bytes fill 16,380, so the next identifier lies across the end,
    // and a later page of that identifier is refused all the same.
    run_case apart = numbered_pages("identifier_already_used_across_a_buffer_end", 1260);
    apart.files.push_back({"q-q.html", "Q"});
    apart.files.push_back({"q_q.html", "R"});
    apart.report.erase(apart.report.rfind("1260 files"));
    apart.report += "q-q.html\nq_q.html\nCan't convert file q_q.html: q_q_html is already used\n"
                    "1262 files processed.\n";
    apart.header += block("q_q_html", "Q\r\n");
    apart.status = 1;
    t.push_back(apart);
    // Enough page names to fill standard output's buffer halfway through.
    run_case closed = numbered_pages("closed_standard_streams_stay_out_of_the_files", 500);
    closed.report = "";
    closed.std_streams = streams::closed;
    t.push_back(closed);

    // Lines that run over the sizes a reader may read in one go must come out
    // whole, with their CRs and indentation settled the same way.
    for (size_t size : {size_t(4096), size_t(65536), read_block, size_t(1048576)}) {
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

// The runs of the table, but those that keep a header made without -z.
std::vector<run_case> gzip_cases()
{
    std::vector<run_case> t;
    for (const run_case &c : cases())
        if (c.args.empty() && !c.header_untouched)
            t.push_back(c);
    return t;
}

INSTANTIATE_TEST_SUITE_P(cases, tarvel_run, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<run_case> &i) { return i.param.name; });
INSTANTIATE_TEST_SUITE_P(cases, tarvel_gzip, testing::ValuesIn(gzip_cases()),
                         [](const testing::TestParamInfo<run_case> &i) { return i.param.name; });

} // namespace
