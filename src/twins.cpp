// twins.cpp: ends each block with what a firmware needs to serve it: its
// length and ETag (-a), its gzip twin (-z), the smaller of array and twin
// alone (-a -z); counts what the files cost (twins.h). Owns `twin` and
// `holding`.

#include "twins.h"

#include "header.h"
#include "options.h"
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <libdeflate.h>

// Each block ends in what a firmware needs to serve it. With -z, a gzip
// twin: the block's text as a compiler reads it, with LF line ends,
// compressed into one gzip member. With -a, every block gets its length and
// an ETag, and a twin only where the twin is smaller than the text. With
// -a -z, a firmware serves a file's twin wherever it has one, so the block
// keeps only the smaller of the two (-k: both): its text is held here, its
// array waiting, until the twin shows which is smaller.
//
//   open_array --> held: the text goes to `text` only --end_block-->
//        |           the twin, or (released) the array, written
//        |--the text outgrows `text`: released: the array so far written,
//        |           the rest goes on into it; no twin --end_block--> ...
//   open_array --> written as it comes (-z, -a, -k), gathered for the twin
bool holding; // the block's array is held: it waits for its twin's verdict
static struct {
    bool defining;             // the block's definitions have begun (-a)
    bool too_big;              // the block's text outgrew `text`
    bool first;                // no line of the block's literal written yet
    const char *id, *delim;    // the block's array, and its delimiter (a page's) or null
    size_t len;                // bytes of `text` gathered
    unsigned long served;      // the block's bytes as a compiler reads them (-a)
    unsigned crc;              // their CRC-32 (-a)
    int blocks;                // blocks ended (-a)
    unsigned long long files;  // the bytes of their files on disk (-a)
    unsigned long long stored; // the bytes of the arrays kept, twins included (-a)
    libdeflate_compressor *compressor;
    char text[twin_max];
    unsigned char gz[twin_gz_max];
} twin;

void start_twins()
{
    if (mode.gzip)
        twin.compressor = libdeflate_alloc_compressor(gzip_level);
}

void end_twins()
{
    if (twin.compressor)
        libdeflate_free_compressor(twin.compressor);
    twin.compressor = nullptr;
}

void gather_text(const char *p, size_t n)
{
    if (mode.tree) {
        twin.served += n;
        twin.crc = libdeflate_crc32(twin.crc, p, n);
    }
    if (!mode.gzip || twin.too_big)
        return;
    twin.too_big = n > sizeof(twin.text) - twin.len;
    if (!twin.too_big) {
        memcpy(twin.text + twin.len, p, n);
        twin.len += n;
    }
}

// Starts the array `id` of a block: a page's raw string of the delimiter
// `delim`, or, where that is null, a literal of a file's bytes. With -a -z
// (not -k) it is held, else its first line written.
// Starts a definition of the block's: with -a, the block's definitions
// stand where the header may define its arrays (list.h), its declarations
// elsewhere (end_block), so that a firmware of several source files has
// one copy of each array.
static const char *define()
{
    if (!mode.tree)
        return "const ";
    if (twin.defining)
        return "TARVEL_DEFINE const ";
    twin.defining = true;
    return "#ifdef TARVEL_DEFINE\r\nTARVEL_DEFINE const ";
}

static void put_array_start()
{
    const char *delim = twin.delim;
    put_strings({define(), "char ", twin.id, delim ? "[] PROGMEM = R\"" : "[] PROGMEM =\r\n",
                 delim ? delim : "", delim ? "(" : ""});
}

void open_array(const char *id, const char *delim)
{
    twin.id = id, twin.delim = delim, twin.first = true;
    holding = mode.gzip && mode.tree && !mode.keep;
    if (!holding)
        put_array_start();
}

// Appends the text of a file's literal to its array.
static void put_bytes_text(const char *p, size_t n)
{
    put_literal(reinterpret_cast<const unsigned char *>(p), n, twin.first);
}

// Writes the held array as far as it is held, and goes on writing it.
static void release()
{
    holding = false;
    put_array_start();
    if (!twin.delim)
        return put_bytes_text(twin.text, twin.len);
    for (const char *p = twin.text, *end = p + twin.len, *lf; p < end; p = lf + 1) {
        lf = static_cast<const char *>(memchr(p, '\n', end - p));
        put(p, (lf ? lf : end) - p);
        if (!lf)
            break;
        put("\r\n", 2); // held as the compiler reads it, written as the header's lines end
    }
}

bool hold(const char *p, size_t n)
{
    if (n <= sizeof(twin.text) - twin.len) {
        memcpy(twin.text + twin.len, p, n);
        twin.len += n;
        twin.served += n;
        twin.crc = libdeflate_crc32(twin.crc, p, n);
        return true;
    }
    release();
    twin.too_big = true;
    return false;
}

void put_file_bytes(const char *p, size_t n)
{
    if (holding && hold(p, n))
        return;
    put_bytes_text(p, n);
    gather(p, n);
}

void close_array()
{
    if (holding)
        return;
    if (twin.delim)
        put_strings({")", twin.delim, "\";\r\n"});
    else
        put_string(twin.first ? "\"\";\r\n" : ";\r\n");
}

char end_block(const char *name, const char *id, unsigned long long bytes)
{
    size_t n = 0;
    if (mode.gzip && !twin.too_big && twin.compressor)
        n = libdeflate_gzip_compress(twin.compressor, twin.text, twin.len, twin.gz,
                                     sizeof(twin.gz));
    if (mode.gzip && n == 0 && twin.too_big)
        report(failure, "Can't compress file %s: over %zu bytes of text\n", name,
               sizeof(twin.text));
    else if (mode.gzip && n == 0)
        report(failure, "Can't compress file %s\n", name);
    bool made = n > 0 && (!mode.tree || n < twin.served);
    bool raw = !(holding && made);
    if (holding && !made) {
        release();
        close_array();
    }
    char len[24], gz_len[24];
    snprintf(len, sizeof(len), "%lu", twin.served);
    snprintf(gz_len, sizeof(gz_len), "%zu", n);
    if (mode.tree && raw)
        put_strings({"const unsigned long ", id, "_len = ", len, ";\r\n"});
    if (made) {
        put_strings({define(), "unsigned char ", id, "_gz[] PROGMEM =\r\n"});
        bool first = true;
        put_literal(twin.gz, n, first);
        put_strings({";\r\n", "const unsigned long ", id, "_gz_len = ", gz_len, ";\r\n"});
    }
    if (made || mode.tree) {
        char etag[32];
        snprintf(etag, sizeof(etag), "_etag[] = \"\\\"%08x\\\"\";\r\n",
                 made ? static_cast<unsigned>(libdeflate_crc32(0, twin.gz, n)) : twin.crc);
        put_strings({define(), "char ", id, etag});
    }
    if (mode.tree) { // the same names, declared only
        put_string("#else\r\n");
        if (raw)
            put_strings({"extern const char ", id, "[] PROGMEM;\r\nconst unsigned long ", id,
                         "_len = ", len, ";\r\n"});
        if (made)
            put_strings({"extern const unsigned char ", id,
                         "_gz[] PROGMEM;\r\nconst unsigned long ", id, "_gz_len = ", gz_len,
                         ";\r\n"});
        put_strings({"extern const char ", id, "_etag[];\r\n#endif\r\n"});
    }
    twin.blocks++;
    twin.files += bytes;
    twin.stored += (raw ? twin.served : 0) + (made ? n : 0);
    twin.len = twin.served = twin.crc = 0;
    twin.too_big = holding = twin.defining = false;
    return !made ? '-' : raw ? 'g' : 'z';
}

// A number with a comma between each three digits: 61,943.
static const char *grouped(unsigned long long v, char (&s)[32])
{
    char digits[24];
    int n = snprintf(digits, sizeof(digits), "%llu", v);
    size_t len = 0;
    for (int i = 0; i < n; i++) {
        if (i > 0 && (n - i) % 3 == 0)
            s[len++] = ',';
        s[len++] = digits[i];
    }
    s[len] = '\0';
    return s;
}

void report_cost()
{
    char bytes[32], stored[32];
    report(fine, "%d file%s: %s bytes, %s in flash%s\n", twin.blocks, twin.blocks == 1 ? "" : "s",
           grouped(twin.files, bytes), grouped(twin.stored, stored), mode.gzip ? " with -z" : "");
}
