// delimiter.cpp: picks the raw string delimiter that a page never closes
// with, in one pass over it. Owns `taken` and `taken_top`.

#include "delimiter.h"

#include "read.h"
#include "search.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

bool holds(const char *p, size_t n, const char *needle, size_t len)
{
    const char *end = p + n;
    return each_close(p, n, needle[1], needle[1], [&](const char *q) {
        return static_cast<size_t>(end - q) >= len && !memcmp(q, needle, len);
    });
}

// The delimiters that a raw string may take, in the order they are tried:
// "", html, html1, html2, ... Delimiter k is taken when the page holds
// ) delimiter ". One pass over the page marks, in `taken`, those of the
// window of delimiters [base, base + delimiter_window) that it holds.
static unsigned char taken[delimiter_window / 8];
static size_t taken_top; // bytes of `taken` that may hold a mark

// Which delimiter do the bytes after a ) at p close, or -1 for none?
static long long closes(const char *p, const char *end)
{
    if (p < end && *p == '"')
        return 0;
    if (end - p < 5 || p[0] != 'h' || p[1] != 't' || p[2] != 'm' || p[3] != 'l')
        return -1;
    p += 4;
    if (*p == '"')
        return 1;
    if (*p == '0') // html0, html01: no delimiter that is ever tried
        return -1;
    long long k = 0;
    for (size_t digits = 4; p < end && *p >= '0' && *p <= '9'; p++, digits++) {
        if (digits == delimiter_max)
            return -1;
        k = k * 10 + (*p - '0');
    }
    return p < end && *p == '"' ? k + 1 : -1;
}

static void mark_taken(const char *p, size_t n, long long base)
{
    const char *end = p + n;
    each_close(p, n, '"', 'h', [&](const char *q) {
        long long k = closes(q + 1, end) - base;
        if (k >= 0 && k < delimiter_window) {
            taken[k / 8] |= 1 << k % 8;
            taken_top = std::max(taken_top, static_cast<size_t>(k / 8 + 1));
        }
        return false;
    });
}

// Marks the delimiters of the window that the page takes, starting from
// the page's first block, which is in `in` for the first window. False when
// reading the page failed.
static bool mark_page(page &pg, long long base)
{
    long have = base == 0 ? pg.first : read_block(pg.fd, 0, 0, true);
    while (have > 0) {
        mark_taken(in, have, base);
        if (have < static_cast<long>(sizeof(in)))
            break; // the end of the page
        // A closing sequence may run over the end of the block: its first
        // bytes are looked at again in front of the next one.
        size_t kept = delimiter_max + 2;
        have = read_block(pg.fd, have, kept, false);
    }
    return have >= 0;
}

bool pick_delimiter(page &pg)
{
    long long k = 0;
    for (long long base = 0; k == base; base += delimiter_window) {
        memset(taken, 0, taken_top);
        taken_top = 0;
        if (!mark_page(pg, base))
            return false;
        for (k = base; k < base + delimiter_window && taken[(k - base) / 8] & 1 << (k - base) % 8;)
            k++;
    }
    if (k == 0)
        pg.delim[0] = '\0';
    else
        snprintf(pg.delim, sizeof(pg.delim), k == 1 ? "html" : "html%lld", k - 1);
    pg.needle_len = snprintf(pg.needle, sizeof(pg.needle), ")%s\"", pg.delim);
    return true;
}
