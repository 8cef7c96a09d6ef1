// bench_gen: writes deterministic folders of HTML-like pages for the benchmark.
//
//   bench_gen corpus DIR   about 200 MB: small and large indented pages, inline
//                          scripts with )", CR LF pages, long minified lines
//   bench_gen small DIR    20,000 pages of about 1 KB
//   bench_gen one DIR MB   one page of MB MiB of indented lines with )"
//   bench_gen taker DIR    one page of 1.2 MB that holds )" and every closing
//                          sequence from )html" to )html60000"
//   bench_gen shape DIR NAME MB
//                          one page NAME.html of MB MiB in one of the shapes
//                          that cost a converter most (see `shapes`)
//   bench_gen peak PROGRAM runs PROGRAM, its output discarded, and prints its
//                          peak resident memory in KiB

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static unsigned long long seed = 88172645463325252ULL;

static unsigned next(unsigned n) // xorshift: the same pages on every machine
{
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return static_cast<unsigned>(seed % n);
}

static const char *const lines[] = {
    "<div class=\"row\"><span class=\"label\">Voltage</span><span id=\"v%u\">%u mV</span></div>",
    "<button type=\"button\" onclick=\"toggle(%u)\">Relay %u</button>",
    "<p>Sensor %u reads <b>%u</b> and was last seen a while ago.</p>",
    "<input name=\"field%u\" value=\"%u\" maxlength=\"32\">",
    "if (x%u > %u) { document.getElementById(\"out\").textContent = fmt(x); }",
    "<a href=\"javascript:show(%u)\">Log %u</a>",
    "<!-- section %u of %u -->",
    "",
};

// An indented page of about `size` bytes; CR LF line ends if crlf.
static void indented(FILE *f, size_t size, bool crlf)
{
    char line[256];
    size_t written = 0;
    while (written < size) {
        int depth = static_cast<int>(next(8));
        int n = snprintf(line, sizeof(line), "%*s", depth * 2, "");
        n += snprintf(line + n, sizeof(line) - n, lines[next(std::size(lines))], next(1000),
                      next(100000));
        written += fprintf(f, "%s%s", line, crlf ? "\r\n" : "\n");
    }
}

// A page with one minified line of about `size` bytes.
static void minified(FILE *f, size_t size)
{
    fputs("<!DOCTYPE html>\n<html>\n  <body>\n    <script>", f);
    for (size_t written = 0; written < size;)
        written += fprintf(f, "function f%u(a){return a.map(b=>b+\"%u\").join(\")\")}", next(1000),
                           next(1000));
    fputs("</script>\n  </body>\n</html>\n", f);
}

// Lines of prose, words of `words` at random, of about `width` bytes
// (no line end at all if width is 0), ended by `end`, up to `size` bytes.
static const char *const words[] = {"the",     "sensor", "reads",   "a",     "value",   "of",
                                    "voltage", "and",    "current", "every", "second,", "which",
                                    "is",      "stored", "in",      "flash."};

static void prose(FILE *f, size_t size, size_t width, const char *end)
{
    for (size_t written = 0, line = 0; written < size;) {
        const char *w = words[next(std::size(words))];
        written += fprintf(f, "%s ", w);
        line += strlen(w) + 1;
        if (width && line >= width) {
            written += fprintf(f, "%s", end);
            line = 0;
        }
    }
}

// A text repeated up to `size` bytes.
static void repeated(FILE *f, size_t size, const char *text)
{
    for (size_t written = 0; written < size;)
        written += fprintf(f, "%s", text);
}

// The shapes of page that cost a converter most, each by its name: plain
// lines and none, runs of line ends, tags that open preformatted text or
// almost do, closing sequences and long lines.
static const struct {
    const char *name;
    void (*write)(FILE *, size_t);
} shapes[] = {
    {"prose", [](FILE *f, size_t n) { prose(f, n, 72, "\n"); }},
    {"nolf", [](FILE *f, size_t n) { prose(f, n, 0, ""); }},
    {"empty", [](FILE *f, size_t n) { repeated(f, n, "\n"); }},
    {"pre", [](FILE *f, size_t n) { repeated(f, n, "<pre>"); }},
    {"neartags", [](FILE *f, size_t n) { repeated(f, n, "<p<pr<pre"); }},
    {"list", [](FILE *f, size_t n) { repeated(f, n, "    <li>item</li>\r\n"); }},
    {"closings", [](FILE *f, size_t n) { repeated(f, n, ")\" )html\" "); }},
    {"long", [](FILE *f, size_t n) { prose(f, n, 20000, "\n"); }},
    {"cr", [](FILE *f, size_t n) { prose(f, n, 72, "\r"); }},
    {"crs", [](FILE *f, size_t n) { repeated(f, n, "\r"); }},
};

static FILE *page(const char *dir, const char *name, unsigned i)
{
    std::string path = std::string(dir) + "/" + name + std::to_string(i) + ".html";
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        perror(path.c_str());
        exit(1);
    }
    return f;
}

int main(int argc, char *argv[])
{
    if (argc == 3 && !strcmp(argv[1], "corpus")) {
        for (unsigned i = 0; i < 3000; i++) { // 60 MB of small pages
            FILE *f = page(argv[2], "page", i);
            indented(f, 2000 + next(36000), i % 4 == 0);
            fclose(f);
        }
        for (unsigned i = 0; i < 40; i++) { // 40 MB of minified lines of 100 KB to 2 MB
            FILE *f = page(argv[2], "app", i);
            minified(f, 100000 + next(1900000));
            fclose(f);
        }
        for (unsigned i = 0; i < 16; i++) { // 100 MB in large pages of 3 to 9 MB
            FILE *f = page(argv[2], "large", i);
            indented(f, 3000000 + next(6000000), i % 2 == 0);
            fclose(f);
        }
    } else if (argc == 3 && !strcmp(argv[1], "small")) {
        for (unsigned i = 0; i < 20000; i++) {
            FILE *f = page(argv[2], "small", i);
            indented(f, 1000, false);
            fclose(f);
        }
    } else if (argc == 4 && !strcmp(argv[1], "one")) {
        FILE *f = page(argv[2], "one", 0);
        indented(f, strtoull(argv[3], nullptr, 10) << 20, false);
        fclose(f);
    } else if (argc == 3 && !strcmp(argv[1], "taker")) {
        FILE *f = page(argv[2], "taker", 0); // takes "", html, html1 ... html60000
        fputs("<p>)\"</p>\n<p>)html\"</p>\n", f);
        for (unsigned i = 1; i <= 60000; i++)
            fprintf(f, "<p>)html%u\"</p>\n", i);
        fclose(f);
    } else if (argc == 5 && !strcmp(argv[1], "shape")) {
        for (auto &shape : shapes)
            if (!strcmp(shape.name, argv[3])) {
                std::string path = std::string(argv[2]) + "/" + shape.name + ".html";
                FILE *f = fopen(path.c_str(), "wb");
                if (!f) {
                    perror(path.c_str());
                    return 1;
                }
                shape.write(f, strtoull(argv[4], nullptr, 10) << 20);
                return fclose(f) == 0 ? 0 : 1;
            }
        fprintf(stderr, "bench_gen: no shape %s\n", argv[3]);
        return 2;
    } else if (argc == 3 && !strcmp(argv[1], "peak")) {
        pid_t pid = fork();
        if (pid == 0) {
            if (freopen("/dev/null", "w", stdout))
                execl(argv[2], argv[2], static_cast<char *>(nullptr));
            _exit(127);
        }
        int status;
        struct rusage usage;
        if (pid < 0 || wait4(pid, &status, 0, &usage) < 0 || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            fprintf(stderr, "bench_gen: %s failed\n", argv[2]);
            return 1;
        }
        printf("%ld\n", usage.ru_maxrss);
    } else {
        fputs("usage: bench_gen corpus DIR | small DIR | one DIR MB | taker DIR | shape NAME DIR "
              "MB | "
              "peak PROGRAM\n",
              stderr);
        return 2;
    }
    return 0;
}
