// search.h: the searches for closing sequences and for the tags of
// preformatted text, a stretch of 64 bytes at a time: a mask of the bytes
// that may start what they look for, by the widest compares the processor
// has (x86/compares.h), the plain loops elsewhere. Inline, as the loops
// that call them are hot.
#pragma once

#include "sizes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// The searches for closing sequences and for tags of preformatted text
// look at a stretch at a time: a mask with a bit for each of its bytes
// marks those that may start what they look for, in a few compares of many
// bytes at once, and only those are looked at closer. Each search passes
// the stretches whose masks are empty in one loop. The wider compares of
// AVX-512 or AVX2 are taken where the processor has them, as the run finds
// out when it starts; any other takes the plain loops, which compilers
// vectorize as its instructions allow.
using mask = std::uint64_t;
static_assert(stretch == 64, "a stretch has a bit of a mask for each of its bytes");
// Bytes after a stretch that the masks read: for a closing sequence, the
// byte after its ); for a tag, the 4 after its <: a / and 3 letters.
constexpr size_t close_lookahead = 1, tag_lookahead = 4;

// Do the letters a, b and c (in lower case, if letters) begin a name of
// tag_names: pre, lis, tex or xmp? Three letters tell them from the tags
// that markup is full of: <p, <li, <td, <template. 1 or 0, for a loop
// without a branch.
inline int three_letters(char a, char b, char c)
{
    return ((a == 'p') & (b == 'r') & (c == 'e')) | ((a == 'l') & (b == 'i') & (c == 's')) |
           ((a == 't') & (b == 'e') & (c == 'x')) | ((a == 'x') & (b == 'm') & (c == 'p'));
}

// From p on, the first stretch whose mask `m` is not empty, or where fewer
// than a stretch and its lookahead are left before end. Bit i of m: a ) at
// p + i followed by `next` or `other`.
inline const char *close_hits_plain(const char *p, const char *end, char next, char other, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + close_lookahead;) {
        for (size_t i = 0; i < stretch; i++)
            m |= static_cast<mask>((p[i] == ')') & ((p[i + 1] == next) | (p[i + 1] == other))) << i;
        p += m ? 0 : stretch;
    }
    return p;
}

// As close_hits_plain, for tags. Bit i: a < at p + i followed by the first
// three letters of a name of tag_names, or by / and them.
inline const char *tag_hits_plain(const char *p, const char *end, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + tag_lookahead;) {
        for (size_t i = 0; i < stretch; i++) {
            const char *q = p + i;
            char a = q[1] | 0x20, b = q[2] | 0x20, c = q[3] | 0x20, d = q[4] | 0x20; // lower case
            int hit = three_letters(a, b, c) | ((q[1] == '/') & three_letters(b, c, d));
            m |= static_cast<mask>((q[0] == '<') & hit) << i;
        }
        p += m ? 0 : stretch;
    }
    return p;
}

#if defined(__x86_64__)
#define TARVEL_X86 1
#include "x86/compares.h"
#endif

// The widest compares that the processor has, found out once, as the run
// starts: a test in every stretch would cost more than its compares. Only
// the fuzz target narrows them.
enum class compares { plain, avx2, avx512 };
extern compares widest;

inline const char *close_hits(const char *p, const char *end, char next, char other, mask &m)
{
#ifdef TARVEL_X86
    if (widest == compares::avx512)
        return close_hits_avx512(p, end, next, other, m);
    if (widest == compares::avx2)
        return close_hits_avx2(p, end, next, other, m);
#endif
    return close_hits_plain(p, end, next, other, m);
}

inline const char *tag_hits(const char *p, const char *end, mask &m)
{
#ifdef TARVEL_X86
    if (widest == compares::avx512)
        return tag_hits_avx512(p, end, m);
    if (widest == compares::avx2)
        return tag_hits_avx2(p, end, m);
#endif
    return tag_hits_plain(p, end, m);
}

// The mask of the bytes c among the n (at most a stretch) at p: near a
// block's end, where a mask would read past it, every such byte is looked
// at closer.
inline mask every(const char *p, size_t n, char c)
{
    mask m = 0;
    for (size_t i = 0; i < n; i++)
        m |= static_cast<mask>(p[i] == c) << i;
    return m;
}

// Where a search stands in its block: the stretch from `at` to `stop` and
// its mask.
struct finder {
    const char *at, *stop;
    mask bits;
};

// The first byte at or after `from` that the masks of `hits` mark, or end;
// near the end, every byte c.
template <typename F>
inline const char *next_hit(finder &f, const char *from, const char *end, char c, F hits)
{
    for (;;) {
        if (from < f.stop) {
            mask left = f.bits >> (from - f.at);
            if (left)
                return from + __builtin_ctzll(left);
            from = f.stop;
        }
        if (from >= end)
            return end;
        f.at = hits(from, end, f.bits);
        f.stop = f.at + std::min(stretch, static_cast<size_t>(end - f.at));
        if (f.bits == 0)
            f.bits = every(f.at, f.stop - f.at, c);
        from = f.at;
    }
}

// Calls found(q) for the ) at q in the n bytes at p that may start a
// closing sequence (the ) followed by `next` or `other`); stops at the
// first call that returns true, and returns whether one did; near the end,
// for every ).
template <typename F>
inline bool each_close(const char *p, size_t n, char next, char other, F found)
{
    const char *end = p + n;
    for (size_t len; p < end; p += len) {
        mask m;
        p = close_hits(p, end, next, other, m);
        len = std::min(stretch, static_cast<size_t>(end - p));
        if (m == 0)
            m = every(p, len, ')');
        for (; m; m &= m - 1)
            if (found(p + __builtin_ctzll(m)))
                return true;
    }
    return false;
}
