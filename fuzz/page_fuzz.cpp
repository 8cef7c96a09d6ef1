// Feeds arbitrary bytes to tarvel's page converter as a page, and checks the
// block it writes against a plain restatement of the line rules and of
// preformatted text. The
// converter reads in blocks of a few bytes here, so that every page crosses
// many block ends.
//
//   page_fuzz [libFuzzer options] [CORPUS...]

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

// The converter itself, without its main: libFuzzer brings its own.
#define main tarvel_main
#include "../src/tarvel.cpp"
#undef main

using std::string;

// Which bytes of the page lie in preformatted text: inside[i] when an open
// tag of pre, listing, textarea or xmp ended its name before byte i and was
// not closed since. Inside textarea and xmp only their own end tag counts.
static std::vector<bool> preformatted(const string &page)
{
    struct tag {
        size_t name_end; // the byte after the name
        string name;
        bool end;
    };
    std::vector<tag> tags;
    for (size_t i = 0; i < page.size(); i++) {
        if (page[i] != '<')
            continue;
        size_t j = i + 1;
        bool end = j < page.size() && page[j] == '/';
        j += end;
        string name;
        for (; j < page.size() && isalpha(static_cast<unsigned char>(page[j])); j++)
            name += static_cast<char>(tolower(static_cast<unsigned char>(page[j])));
        bool known = name == "pre" || name == "listing" || name == "textarea" || name == "xmp";
        if (known && j < page.size() && page[j] != '\0' && strchr("\t\n\f\r />", page[j]))
            tags.push_back({j, name, end});
    }
    std::vector<bool> inside(page.size());
    size_t depth = 0, next = 0;
    string raw;
    for (size_t i = 0; i < page.size(); i++) {
        for (; next < tags.size() && tags[next].name_end < i; next++) {
            const tag &t = tags[next];
            if (!raw.empty())
                raw = t.end && t.name == raw ? "" : raw;
            else if (t.name == "textarea" || t.name == "xmp")
                raw = t.end ? "" : t.name;
            else if (!t.end)
                depth++;
            else if (depth > 0)
                depth--;
        }
        inside[i] = depth > 0 || !raw.empty();
    }
    return inside;
}

// The page's text as it must stand in the raw string: lines end at LF, a
// line loses one CR before its LF (up to two at the end of the page). A line
// that starts in preformatted text is written as it is left, with CR LF.
// Elsewhere a line left empty is dropped, and any other line loses its
// leading spaces, tabs and CRs and gets CR LF.
static string expected_text(const string &page)
{
    std::vector<bool> inside = preformatted(page);
    string text;
    for (size_t start = 0; start < page.size();) {
        size_t lf = page.find('\n', start);
        bool last = lf == string::npos;
        string line = page.substr(start, last ? string::npos : lf - start);
        for (int i = 0; i < (last ? 2 : 1) && !line.empty() && line.back() == '\r'; i++)
            line.pop_back();
        if (inside[start]) {
            text += line + "\r\n";
        } else if (!line.empty()) {
            size_t indent = line.find_first_not_of(" \t\r");
            text += (indent == string::npos ? "" : line.substr(indent)) + "\r\n";
        }
        start = last ? page.size() : lf + 1;
    }
    return text;
}

// The first of "", html, html1, html2, ... that the page never closes with.
static string expected_delimiter(const string &page)
{
    string delim;
    for (unsigned k = 0; page.find(")" + delim + "\"") != string::npos; k++)
        delim = "html" + (k ? std::to_string(k) : "");
    return delim;
}

static void check(bool ok, const char *what, const string &block)
{
    if (!ok) {
        fprintf(stderr, "page_fuzz: %s\n--- block ---\n%s\n---\n", what, block.c_str());
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The page and the header live in memory; the converter opens the page
    // by name like any page.
    static int fd = memfd_create("page", 0);
    static char path[32];
    if (header.file.fd < 0)
        header.file.fd = memfd_create("header", 0);
    if (fd < 0 || header.file.fd < 0 || ftruncate(fd, 0) != 0 ||
        pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
        ftruncate(header.file.fd, 0) != 0 || lseek(header.file.fd, 0, SEEK_SET) != 0)
        abort();
    snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);

    // Every input is a run of its own: no identifier is taken yet.
    for (int i = 0; i < 3; i++)
        seen[seen_bit("page_html", i) / 8] = 0;
    tarvel(path, "page_html");
    flush_out();
    string block(lseek(header.file.fd, 0, SEEK_END), '\0');
    if (pread(header.file.fd, block.data(), block.size(), 0) != static_cast<ssize_t>(block.size()))
        abort();

    string page(reinterpret_cast<const char *>(data), size);
    string delim = expected_delimiter(page);
    string open = "const char page_html[] PROGMEM = R\"" + delim + "(";
    string close = ")" + delim + "\"";
    check(status == 0 && !header.failed, "the page could not be read", block);
    check(block.compare(0, open.size(), open) == 0, "the block does not open as it should", block);
    check(block.size() >= open.size() + close.size() + 3 &&
              block.compare(block.size() - close.size() - 3, string::npos, close + ";\r\n") == 0,
          "the block does not close as it should", block);
    check(block.find(close) == block.size() - close.size() - 3,
          "the raw string closes before its end", block);
    check(block == open + expected_text(page) + close + ";\r\n", "the text differs from the page",
          block);
    return 0;
}
