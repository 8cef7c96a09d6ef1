// tarvel: turn the HTML pages of a folder into one C++ header of PROGMEM raw strings.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

constexpr char list_name[] = "list.txt";
constexpr char header_name[] = "../htmls.h";

// Far more than the longest file name Linux allows (255 bytes).
constexpr size_t name_max = 4096;
// C++ allows a raw string delimiter of at most 16 characters.
constexpr size_t delimiter_max = 16;

static const char usage[] =
    "usage: tarvel [-h | --help | --version]\n"
    "Run in a folder of HTML pages: lists the *.html pages in list.txt and writes\n"
    "them all as PROGMEM raw strings into ../htmls.h, overwriting that file.\n";

static char in[1 << 18];  // a block of the page being converted
static char out[1 << 16]; // converted text on its way to the header
static size_t out_len;    // bytes waiting in `out`

static int status; // the exit status: 1 once any file failed

// Reports a file that could not be opened, read or written, and remembers
// the failure; the run goes on with the next file.
static void fail(const char *what, const char *path)
{
    printf("Can't %s file %s\n", what, path);
    status = 1;
}

void file_error(const char *path)
{
    fail("open", path);
}

// Opens a regular file for reading; returns its descriptor, or -1. A folder
// or a device is no page, and opening a FIFO the ordinary way would block
// the run until a writer came.
static int open_regular(const char *path)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Reads the page from its start, a block of `in` at a time, keeping the last
// `kept` bytes of each block in front of the next one. Returns the bytes now
// in `in` (kept ones included), 0 at the end, or -1 when reading failed.
// Pages are read with read(2) straight into `in`: stdio would only copy.
static long read_block(int page, size_t kept, bool from_start)
{
    if (from_start && lseek(page, 0, SEEK_SET) != 0)
        return -1;
    size_t have = kept;
    while (have < sizeof(in)) {
        ssize_t got = read(page, in + have, sizeof(in) - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        have += got;
    }
    return have > kept ? static_cast<long>(have) : 0;
}

// Scripts hold ) often, markup rarely: a page is searched for the delimiter
// a stretch of this many bytes at a time, skipping the stretches where no )
// is followed by the needle's next byte.
constexpr size_t stretch = 64;

// Could a needle start in the stretch at p? The loop has no branch inside,
// so the compiler turns it into a few vector compares.
static bool may_start(const char *p, const char *needle)
{
    unsigned char any = 0;
    for (size_t i = 0; i < stretch; i++)
        any |= (p[i] == needle[0]) & (p[i + 1] == needle[1]);
    return any;
}

// Does the block of n bytes at p hold needle (of two bytes or more)?
static bool holds(const char *p, size_t n, const char *needle, size_t len)
{
    for (const char *end = p + n, *stop; p < end; p = stop) {
        bool whole = static_cast<size_t>(end - p) > stretch; // may_start reads a byte more
        stop = whole ? p + stretch : end;
        if (whole && !may_start(p, needle))
            continue;
        for (const char *q = p; (q = static_cast<const char *>(memchr(q, needle[0], stop - q)));
             q++)
            if (static_cast<size_t>(end - q) >= len && !memcmp(q, needle, len))
                return true;
    }
    return false;
}

// Does the page hold needle? Returns 1 or 0, or -1 when reading failed.
// `first` is what the page's first read left in `in`: when that was the
// whole page, it is searched without reading the page again.
static int page_has(int page, long first, const char *needle)
{
    size_t len = strlen(needle);
    if (first < static_cast<long>(sizeof(in)))
        return holds(in, first, needle, len);
    long have;
    size_t kept = 0;
    for (bool start = true; (have = read_block(page, kept, start)) > 0; start = false) {
        if (holds(in, have, needle, len))
            return 1;
        kept = std::min(len - 1, static_cast<size_t>(have));
        memmove(in, in + have - kept, kept);
    }
    return have < 0 ? -1 : 0;
}

// Picks the raw string delimiter: none, unless the page holds )" itself;
// then the first of html, html1, html2, ... that the page never closes with.
// Returns false when reading the page failed.
static bool pick_delimiter(int page, long first, char *delim, size_t size)
{
    char needle[delimiter_max + 3];
    delim[0] = '\0';
    for (unsigned k = 0;; k++) {
        snprintf(needle, sizeof(needle), ")%s\"", delim);
        int has = page_has(page, first, needle);
        if (has <= 0)
            return has == 0;
        if (k == 0)
            snprintf(delim, size, "html");
        else
            snprintf(delim, size, "html%u", k);
    }
}

// What the converter knows of the current line. A line may run over any
// number of blocks, so this lives from one block to the next.
struct line {
    bool leading; // still in the indentation, which is dropped
    bool body;    // holds more than its line end, so it is written
    size_t crs;   // CRs held back, since the last ones may be the line end
};

constexpr line new_line = {true, false, 0};

// Writes what waits in `out` to the header. Everything the header gets goes
// through `out`, so the header is written in large blocks, however small
// its pages are.
static void flush_out(FILE *header)
{
    fwrite(out, 1, out_len, header);
    out_len = 0;
}

// Appends converted text to the header. Most lines are short: gathering
// them in `out` makes one write of many.
static void put(const char *p, size_t n, FILE *header)
{
    if (out_len + n > sizeof(out)) {
        flush_out(header);
        if (n > sizeof(out)) {
            fwrite(p, 1, n, header);
            return;
        }
    }
    memcpy(out + out_len, p, n);
    out_len += n;
}

static void put_string(const char *s, FILE *header)
{
    put(s, strlen(s), header);
}

// Settles the held-back CRs, all but the last `strip` of them being text.
static void settle_crs(line &l, size_t strip, FILE *header)
{
    if (l.crs > strip) {
        l.body = true;
        if (!l.leading)
            for (size_t i = strip; i < l.crs; i++)
                put("\r", 1, header);
    }
    l.crs = 0;
}

// Ends a line: it is written, with CR LF, unless it held its line end alone.
// `strip` is how many CRs before the end belong to it: one before an LF, and
// up to two at the end of the page.
static void end_line(line &l, size_t strip, FILE *header)
{
    settle_crs(l, strip, header);
    if (l.body)
        put("\r\n", 2, header);
    l = new_line;
}

// Converts a piece of one line (no LF in it) onto the header. Its trailing
// CRs are held back, since they may turn out to end the line.
static void convert_text(line &l, const char *p, const char *end, FILE *header)
{
    const char *text_end = end;
    while (text_end > p && text_end[-1] == '\r')
        text_end--;
    if (text_end > p) {
        settle_crs(l, 0, header); // CRs with text after them are text
        l.body = true;
        if (l.leading) {
            while (p < text_end && (*p == ' ' || *p == '\t' || *p == '\r'))
                p++;
            l.leading = p == text_end;
        }
        put(p, text_end - p, header);
    }
    l.crs += end - text_end;
}

// Converts a block of the page, which may start or end inside a line.
static void convert_block(line &l, const char *p, const char *end, FILE *header)
{
    while (p < end) {
        auto lf = static_cast<const char *>(memchr(p, '\n', end - p));
        convert_text(l, p, lf ? lf : end, header);
        if (!lf)
            return;
        end_line(l, 1, header);
        p = lf + 1;
    }
}

// Converts the whole page. Returns false when reading it failed.
static bool convert(int page, long first, FILE *header)
{
    line l = new_line;
    long have = first;
    if (first == static_cast<long>(sizeof(in)))
        for (bool start = true; (have = read_block(page, 0, start)) > 0; start = false)
            convert_block(l, in, in + have, header);
    else
        convert_block(l, in, in + first, header);
    end_line(l, 2, header);
    return have >= 0;
}

// Appends the page `name` to the header as the array `id`. A page that
// cannot be read still gets its closing line, so the header stays whole.
void tarvel(const char *name, const char *id, FILE *header)
{
    int page = open_regular(name);
    if (page < 0) {
        file_error(name);
        return;
    }
    char delim[delimiter_max + 1] = "";
    long first = read_block(page, 0, false);
    bool ok = first >= 0 && pick_delimiter(page, first, delim, sizeof(delim));
    const char *const opening[] = {"const char ", id, "[] PROGMEM = R\"", delim, "("};
    const char *const closing[] = {")", delim, "\";\r\n"};
    for (const char *s : opening)
        put_string(s, header);
    if (ok)
        ok = convert(page, first, header);
    for (const char *s : closing)
        put_string(s, header);
    if (!ok)
        fail("read", name);
    close(page);
}

// Reads one line of the listing into name, without its line feed, and
// returns its length, or -1 at the end. A line too long for name is still
// read to its end, and its full length returned.
static long read_name(FILE *list, char *name, size_t size)
{
    size_t len = 0;
    int c;
    while ((c = getc(list)) != EOF && c != '\n') {
        if (len < size - 1)
            name[len] = static_cast<char>(c);
        len++;
    }
    name[std::min(len, size - 1)] = '\0';
    return c == EOF && len == 0 ? -1 : static_cast<long>(len);
}

// A listing line names a page when it holds a whole name ending in ".html".
static bool is_page(const char *name, long len)
{
    return strlen(name) == static_cast<size_t>(len) && len >= 5 && !strcmp(name + len - 5, ".html");
}

// Makes the array name from a page's base name, as xxd -i does: every ASCII
// byte that cannot stand in an identifier becomes _, and a leading digit gets
// a _ in front. Bytes of 128 and up pass as they are, for UTF-8 names.
static void make_identifier(char *id, const char *base, size_t len)
{
    size_t n = 0;
    if (len > 0 && isdigit(static_cast<unsigned char>(base[0])))
        id[n++] = '_';
    for (size_t i = 0; i < len; i++) {
        unsigned char c = base[i];
        id[n++] = c >= 128 || isalnum(c) || c == '_' ? c : '_';
    }
    strcpy(id + n, "_html");
}

// Handles the command line; returns the exit status, or -1 to go on and run.
static int options(int argc, char *argv[])
{
    if (argc == 1)
        return -1;
    if (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help"))) {
        fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && !strcmp(argv[1], "--version")) {
        puts("tarvel " TARVEL_VERSION);
        return 0;
    }
    fputs(usage, stderr);
    return 2;
}

int main(int argc, char *argv[])
{
    int done = options(argc, argv);
    if (done >= 0)
        return done;

    puts("--------------------------------------");
    puts("Convert all .html files in this folder");
    puts("to C++ raw strings and save them in the");
    puts("parent folder as htmls.h");
    puts("-----------------------------------------");

    char command[64];
    snprintf(command, sizeof(command), "ls -d -- *.html > %s", list_name);
    fflush(stdout);
    // ls fails in a folder without pages, which is no failure of the run.
    [[maybe_unused]] int listed = system(command);

    int list_fd = open_regular(list_name);
    FILE *list = list_fd < 0 ? nullptr : fdopen(list_fd, "r");
    if (!list) {
        if (list_fd >= 0)
            close(list_fd);
        file_error(list_name);
        return status;
    }
    FILE *header = fopen(header_name, "wb");
    if (!header) {
        file_error(header_name);
        fclose(list);
        return status;
    }

    char name[name_max];
    char id[sizeof(name) + sizeof("_html")]; // a leading _ may be added
    int pages = 0;
    long len;
    while ((len = read_name(list, name, sizeof(name))) >= 0) {
        if (!is_page(name, len))
            continue;
        make_identifier(id, name, len - 5);
        puts(name);
        tarvel(name, id, header);
        pages++;
    }
    if (ferror(list))
        fail("read", list_name);
    printf("%d files processed.\n", pages);

    flush_out(header);
    bool bad = ferror(header);
    if (fclose(header) != 0 || bad)
        fail("write", header_name);
    fclose(list);
    return status;
}
