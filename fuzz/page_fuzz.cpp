// Feeds arbitrary bytes to tarvel's page converter as a page, and checks the
// block it writes against a plain restatement of the line rules and of
// preformatted text. The converter reads in blocks of a few stretches here,
// so that every page crosses many block ends. Each page is converted with
// every width of compares that the processor has: AVX-512, AVX2, plain loops.
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

// The converter itself, in blocks of its own size.
#include "convert.h"
#include "header.h"
#include "testing.h"

#include "../tests/restate.h"

using std::string;

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
    static int fd = memfd_create("page", 0), header = memfd_create("header", 0);
    static char path[32];
    if (fd < 0 || header < 0 || ftruncate(fd, 0) != 0 ||
        pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
    string page(reinterpret_cast<const char *>(data), size);
    string delim = restate::expected_delimiter(page);
    string open = "const char page_html[] PROGMEM = R\"" + delim + "(";
    string close = ")" + delim + "\"";

    // With each width of compares that the processor has, the plain loops
    // last.
    static const compares has = widest;
    for (int width = static_cast<int>(has); width >= 0; width--) {
        test_use_compares(static_cast<compares>(width));
        if (ftruncate(header, 0) != 0 || lseek(header, 0, SEEK_SET) != 0)
            abort();
        // Every input is a run of its own: no identifier is taken yet.
        test_new_run(header);
        tarvel(path, "page_html");
        flush_out();
        string block(lseek(header, 0, SEEK_END), '\0');
        if (pread(header, block.data(), block.size(), 0) != static_cast<ssize_t>(block.size()))
            abort();

        check(test_status() == 0 && test_header_whole(), "the page could not be read", block);
        check(block.compare(0, open.size(), open) == 0, "the block does not open as it should",
              block);
        check(block.size() >= open.size() + close.size() + 3 &&
                  block.compare(block.size() - close.size() - 3, string::npos, close + ";\r\n") ==
                      0,
              "the block does not close as it should", block);
        check(block.find(close) == block.size() - close.size() - 3,
              "the raw string closes before its end", block);
        check(block == open + restate::expected_text(page) + close + ";\r\n",
              "the text differs from the page", block);
    }
    return 0;
}
