// lines.cpp: the line rules, and the preformatted text that keeps its lines:
// a block of the page at a time into the header. Owns no state; the page's
// is in `page`.

#include "lines.h"

#include "search.h"
#include "twins.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

// The 8 bytes at p, as a word; and a word of 8 bytes c.
static std::uint64_t word_at(const char *p)
{
    std::uint64_t w;
    memcpy(&w, p, sizeof(w));
    return w;
}

static std::uint64_t eight(char c)
{
    return 0x0101010101010101 * static_cast<unsigned char>(c);
}

// Settles the held-back CRs, all but the last `strip` of them being text.
static void settle_crs(page &pg, size_t strip)
{
    static const char crs[] = "\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r"; // written a run at a time
    if (pg.crs > strip) {
        pg.body = true;
        for (size_t n = pg.crs - strip, k; !pg.leading && n > 0; n -= k) {
            k = std::min(n, sizeof(crs) - 1);
            put_text(crs, k);
        }
    }
    pg.crs = 0;
}

// Preformatted text lies between one of these tags and its end tag. Its
// lines keep their indentation and their empty lines, which a browser shows.
constexpr const char *tag_names[] = {"pre", "listing", "textarea", "xmp"};
// From here on, elements of raw text: only their own end tag counts there.
constexpr size_t first_raw = 2;
// Bytes from a < that decide a tag of theirs: the <, a /, the longest name
// and the byte after it.
constexpr size_t tag_reach = 1 + 1 + tag_max + 1;

// A name of tag_names as the tag_max bytes after a < (and a /) that hold
// it are, read as a number and in lower case; its bytes; its length.
struct tag_word {
    std::uint64_t name, bytes;
    size_t len;
};
static_assert(tag_max == sizeof(std::uint64_t), "the longest name fills a word");

constexpr tag_word word_of(const char *name)
{
    tag_word w = {0, 0, 0};
    for (; name[w.len]; w.len++) {
        int shift = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 8 * w.len : 56 - 8 * w.len;
        w.name |= static_cast<std::uint64_t>(name[w.len]) << shift;
        w.bytes |= static_cast<std::uint64_t>(0xff) << shift;
    }
    return w;
}

constexpr tag_word tag_words[] = {word_of(tag_names[0]), word_of(tag_names[1]),
                                  word_of(tag_names[2]), word_of(tag_names[3])};
static_assert(std::size(tag_words) == std::size(tag_names), "a word for each name");

void new_line(page &pg)
{
    pg.keep = pg.depth > 0 || pg.raw > 0;
    pg.leading = !pg.keep;
    pg.body = false;
    pg.crs = 0;
}

void end_line(page &pg, size_t strip, bool at_lf)
{
    bool any = at_lf || pg.body || pg.crs > 0;
    if (pg.crs > strip)
        settle_crs(pg, strip);
    pg.crs = 0;
    if (pg.body || (pg.keep && any))
        put_line_end();
    new_line(pg);
}

// A tag of tag_names has been read up to the byte that ends its name.
static void take_tag(page &pg, size_t name, bool end_tag)
{
    if (pg.raw) {
        if (end_tag && name + 1 == pg.raw)
            pg.raw = 0;
    } else if (name >= first_raw) {
        if (!end_tag)
            pg.raw = name + 1;
    } else if (!end_tag) {
        pg.depth++;
    } else if (pg.depth > 0) {
        pg.depth--;
    }
}

// Does c end a tag's name? A bit for each of the bytes that do.
static bool ends_name(unsigned char c)
{
    constexpr std::uint64_t ends = 1ull << '\t' | 1ull << '\n' | 1ull << '\f' | 1ull << '\r' |
                                   1ull << ' ' | 1ull << '/' | 1ull << '>';
    return c < 64 && (ends >> c & 1);
}

// Reads a byte of what may be a tag, after its <: a tag that a block's end
// cuts is read so, a byte at a time.
static void tag_byte(page &pg, unsigned char c)
{
    if (c == '/' && pg.tag_len == 0 && !pg.end_tag) {
        pg.end_tag = true;
        return;
    }
    if (ends_name(c)) {
        for (size_t i = 0; i < std::size(tag_names); i++)
            if (pg.tag_len == strlen(tag_names[i]) && !memcmp(pg.tag, tag_names[i], pg.tag_len))
                take_tag(pg, i, pg.end_tag);
        pg.in_tag = false;
        return;
    }
    bool may_be = false;
    if (pg.tag_len < sizeof(pg.tag)) {
        pg.tag[pg.tag_len++] = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
        for (const char *name : tag_names) // the tag may hold a zero byte
            may_be |= pg.tag_len <= strlen(name) && !memcmp(pg.tag, name, pg.tag_len);
    }
    if (!may_be) { // no tag of theirs; a < starts the next one
        pg.in_tag = c == '<';
        pg.end_tag = false;
        pg.tag_len = 0;
    }
}

// Reads the tag whose < is at p, where the block holds the tag_reach bytes
// that decide it, as tag_byte would read them.
static void read_tag(page &pg, const char *p)
{
    bool end_tag = p[1] == '/';
    const char *name = p + 1 + end_tag;
    // Letters in lower case; no other byte becomes a letter.
    std::uint64_t w = word_at(name) | eight(0x20);
    for (size_t i = 0; i < std::size(tag_words); i++)
        if ((w & tag_words[i].bytes) == tag_words[i].name && ends_name(name[tag_words[i].len])) {
            take_tag(pg, i, end_tag);
            return;
        }
}

// The first < from p on that may start a tag of tag_names, or end.
static const char *next_tag(finder &f, const char *p, const char *end)
{
    return next_hit(f, p, end, '<', tag_hits);
}

// Follows the tags of a block, in order, up to `to`: a tag takes effect
// once the byte after its name has been read. `p` is where the last call
// stopped: inside a tag, or at the next < that may start one. Returns where
// this one stopped, which may lie beyond `to`; so a line without such a <
// costs nothing.
static const char *follow_tags(page &pg, finder &f, const char *p, const char *to, const char *end)
{
    while (p < to) {
        // A tag never reaches past the LF that ends its line.
        for (; !pg.in_tag && p < to && static_cast<size_t>(end - p) >= tag_reach;
             p = next_tag(f, p + 1, end))
            read_tag(pg, p);
        if (p >= to)
            break;
        if (!pg.in_tag) {
            pg.in_tag = true;
            pg.end_tag = false;
            pg.tag_len = 0;
            p++;
        }
        while (pg.in_tag && p < to) {
            tag_byte(pg, *p++);
            // A < that starts the next tag is read whole where it can be.
            bool at_lt = pg.in_tag && pg.tag_len == 0 && !pg.end_tag;
            if (at_lt && static_cast<size_t>(end - (p - 1)) >= tag_reach) {
                pg.in_tag = false;
                p--;
            }
        }
        if (!pg.in_tag)
            p = next_tag(f, p, end);
    }
    return p;
}

// The first byte from p on that is no space, tab or CR, or end. Lines are
// indented with spaces: those are passed eight at a time.
static const char *skip_blanks(const char *p, const char *end)
{
    for (; end - p >= 8; p += 8)
        if (std::uint64_t w = word_at(p) ^ eight(' ')) { // the first byte not zero is no space
            p += (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? __builtin_ctzll(w)
                                                            : __builtin_clzll(w)) /
                 8;
            break;
        }
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
        p++;
    return p;
}

// Where the run of CRs that ends the text from p to end starts; CRs are
// passed eight at a time.
static const char *before_crs(const char *p, const char *end)
{
    while (end - p >= 8 && word_at(end - 8) == eight('\r'))
        end -= 8;
    while (end > p && end[-1] == '\r')
        end--;
    return end;
}

// Converts a piece of one line (no LF in it) onto the header. Its trailing
// CRs are held back, since they may turn out to end the line.
static void convert_text(page &pg, const char *p, const char *end)
{
    const char *text_end = before_crs(p, end);
    if (text_end > p) {
        if (pg.crs > 0)
            settle_crs(pg, 0); // CRs with text after them are text
        pg.body = true;
        if (pg.leading) {
            p = skip_blanks(p, text_end);
            pg.leading = p == text_end;
        }
        put_text(p, text_end - p);
    }
    pg.crs += end - text_end;
}

// The end of the run of empty lines, LF or CR LF, from p on, and how many
// it holds. LFs are passed eight at a time.
static const char *empty_lines(const char *p, const char *end, size_t &lines)
{
    for (lines = 0;; lines++) {
        if (end - p >= 8 && word_at(p) == eight('\n'))
            p += 8, lines += 7;
        else if (p < end && *p == '\n')
            p++;
        else if (end - p >= 2 && p[0] == '\r' && p[1] == '\n')
            p += 2;
        else
            return p;
    }
}

void convert_block(page &pg, const char *p, const char *end)
{
    finder f = {p, p, 0};
    const char *tag = pg.in_tag ? p : next_tag(f, p, end);
    while (p < end) {
        auto lf = static_cast<const char *>(memchr(p, '\n', end - p));
        convert_text(pg, p, lf ? lf : end);
        // The LF too may end a tag's name, and so decide the next line.
        tag = follow_tags(pg, f, tag, lf ? lf + 1 : end, end);
        if (!lf)
            return;
        end_line(pg, 1, true);
        // Empty lines, as end_line would take them one by one: dropped,
        // or kept in preformatted text. No tag lies in them.
        p = lf + 1;
        if (p < end && (*p == '\n' || *p == '\r')) {
            size_t empty;
            p = empty_lines(p, end, empty);
            for (; pg.keep && empty > 0; empty--)
                put_line_end();
        }
    }
}
