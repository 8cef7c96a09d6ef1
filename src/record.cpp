// record.cpp: the identifiers of the run, made from file names and taken
// once each, and the record of every block written. Owns `seen` and
// `record`.

#include "record.h"

#include "files.h"
#include "options.h"

#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

void make_identifier(char *id, const char *name, size_t len)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto word = [&](char c) {
        return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    size_t n = 0;
    if (len > 0 && digit(name[0]))
        id[n++] = '_';
    for (size_t i = 0; i < len; i++)
        id[n++] = word(name[i]) ? name[i] : '_';
    id[n] = '\0';
}

// Names that no array may take, since they are C++'s own: keywords, and
// the alternative tokens (and, or ...), each between spaces.
static const char keywords[] =
    " alignas alignof and and_eq asm auto bitand bitor bool break case catch char "
    "char8_t char16_t char32_t class compl concept const consteval constexpr "
    "constinit const_cast continue co_await co_return co_yield decltype default "
    "delete do double dynamic_cast else enum explicit export extern false float for "
    "friend goto if inline int long mutable namespace new noexcept not not_eq "
    "nullptr operator or or_eq private protected public register reinterpret_cast "
    "requires return short signed sizeof static static_assert static_cast struct "
    "switch template this thread_local throw true try typedef typeid typename union "
    "unsigned using virtual void volatile wchar_t while xor xor_eq ";
// The longest of them ("reinterpret_cast").
constexpr size_t keyword_max = 16;

// Is id one of C++'s own names? Only with -a can it be: a page's ends in
// _html.
static bool is_keyword(const char *id)
{
    char word[1 + keyword_max + 2];
    return strlen(id) <= keyword_max && snprintf(word, sizeof(word), " %s ", id) > 0 &&
           strstr(keywords, word);
}

// The record of the blocks written so far, one line each: the identifier,
// what the block kept (g: its array and its gzip twin, z: the twin alone,
// -: the array alone) and the file's name:
//
//   a_html g a.html
//
// It alone tells which identifiers are taken, and the list of blocks that
// ends the header is made from it. It is a file in memory, so the
// program's memory stays the same for any number of files; a bit set
// answers most lookups of an identifier at once, and a hit is confirmed
// against the record, so the answer is exact.
static unsigned char seen[seen_bytes];
static struct {
    int fd;
    char buf[record_buffer]; // lines not yet written to fd
    size_t len;
    bool lost; // a line could not be written or read back
} record = {-1, "", 0, false};

// Are the bits of an identifier all set (and, with `set`, set them)? Its
// bits come from one hash (FNV-1a), split in two halves.
static bool seen_bits(const char *id, bool set)
{
    unsigned long long h = 14695981039346656037ULL;
    for (const char *p = id; *p; p++)
        h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ULL;
    bool all = true;
    for (int i = 0; i < seen_hashes; i++) {
        size_t bit = (h + i * (h >> 32 | 1)) % (sizeof(seen) * 8);
        all &= (seen[bit / 8] >> bit % 8) & 1;
        if (set)
            seen[bit / 8] |= 1 << bit % 8;
    }
    return all;
}

// Writes the waiting lines to the record; false when it has lost one.
static bool flush_record()
{
    if (record.fd < 0 && !record.lost)
        record.fd = memfd_create("tarvel-record", MFD_CLOEXEC);
    record.lost |= record.fd < 0 || !write_full(record.fd, record.buf, record.len);
    record.len = 0;
    return !record.lost;
}

// Calls found(line, len) for the lines of the record in turn, each without
// its line feed, until a call returns true; returns whether one did. Call
// flush_record first.
template <typename F> static bool each_line(F found)
{
    char chunk[record_buffer];
    size_t have = 0;
    for (off_t at = 0; record.fd >= 0;) {
        ssize_t got = pread(record.fd, chunk + have, sizeof(chunk) - have, at);
        record.lost |= got < 0;
        if (got <= 0)
            break;
        at += got;
        have += got;
        const char *p = chunk, *end = chunk + have, *lf;
        for (; (lf = static_cast<const char *>(memchr(p, '\n', end - p))); p = lf + 1)
            if (found(p, static_cast<size_t>(lf - p)))
                return true;
        have = end - p;
        memmove(chunk, p, have);
    }
    return false;
}

// The names that a block's identifier ID gives the header with -a and -z:
// ID itself, then ID and these suffixes.
static const char *const suffixes[] = {"_len", "_gz", "_gz_len", "_etag"};

// Calls is(name) for each name that would clash with the block id, until
// a call returns true; returns whether one did. A block declares its id
// and id with each of the suffixes, so id clashes with a block R when it
// is R, or R and a suffix, or R less a suffix; but where every identifier
// ends in _html (without -a, `suffixed` false), only when it is R.
template <typename F> static bool each_rival(const char *id, bool suffixed, F is)
{
    char name[id_max + sizeof("_gz_len")];
    size_t len = strlen(id);
    bool same = is(id);
    if (same || !suffixed)
        return same;
    memcpy(name, id, len);
    for (const char *s : suffixes) {
        size_t n = strlen(s);
        memcpy(name + len, s, n + 1);
        if (is(name))
            return true;
        if (len > n && !memcmp(id + len - n, s, n)) {
            name[len - n] = '\0';
            bool rival = is(name);
            memcpy(name + len - n, s, n); // id, as it was
            if (rival)
                return true;
        }
    }
    return false;
}

// Takes the identifier for a block; false when a block earlier in the run
// has it, or one that it would clash with (`suffixed`). Should the record
// be lost, a hit of the bit set counts: a file too many refused, never two
// blocks of one name.
static bool claim(const char *id, bool suffixed)
{
    auto in_bit_set = [](const char *name) { return seen_bits(name, false); };
    bool hit = each_rival(id, suffixed, in_bit_set);
    if (hit && (!flush_record() || each_line([&](const char *line, size_t) {
            size_t taken = strcspn(line, " ");
            return each_rival(id, suffixed, [&](const char *name) {
                return strlen(name) == taken && !memcmp(line, name, taken);
            });
        })))
        return false;
    seen_bits(id, true);
    return true;
}

void record_block(const char *id, char kept, const char *name)
{
    size_t id_len = strlen(id), name_len = strlen(name), len = id_len + 3 + name_len + 1;
    if (record.len + len > sizeof(record.buf))
        flush_record();
    char *p = record.buf + record.len;
    memcpy(p, id, id_len);
    p[id_len] = ' ', p[id_len + 1] = kept, p[id_len + 2] = ' ';
    memcpy(p + id_len + 3, name, name_len);
    p[len - 1] = '\n';
    record.len += len;
}

void forget_identifiers()
{
    memset(seen, 0, sizeof(seen));
    record.len = 0;
    record.lost = false;
    if (record.fd >= 0 && ftruncate(record.fd, 0) != 0) {
        close(record.fd);
        record.fd = -1;
    }
}

// Takes the identifier id for a file of the tree (-a), numbered where C++
// or an earlier block has it: the lowest free of id_2, id_3 ... False when
// none is free.
static bool claim_numbered(char (&id)[id_max])
{
    if (!is_keyword(id) && claim(id, true))
        return true;
    size_t len = strlen(id);
    for (unsigned n = 2; n < numbers_tried; n++) {
        snprintf(id + len, sizeof(id) - len, "_%u", n);
        if (claim(id, true))
            return true;
    }
    id[len] = '\0';
    return false;
}

bool take_identifier(char (&id)[id_max])
{
    return mode.tree ? claim_numbered(id) : claim(id, false);
}

void record_lines(void (*each)(const char *line, size_t len))
{
    flush_record();
    each_line([&](const char *line, size_t len) {
        each(line, len);
        return false;
    });
}

bool record_is_lost()
{
    return record.lost;
}
