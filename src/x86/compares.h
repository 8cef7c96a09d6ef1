// x86/compares.h: the masks of search.h by AVX2 and AVX-512 compares, 32 or
// 64 bytes at a time; search.h takes them where the processor has them.
#pragma once

#include <immintrin.h>

__attribute__((target("avx2"))) inline __m256i bytes_at(const char *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

__attribute__((target("avx2"))) inline __m256i is(__m256i v, char c)
{
    return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
}

__attribute__((target("avx2"))) inline mask bits_of(__m256i low, __m256i high)
{
    return static_cast<unsigned>(_mm256_movemask_epi8(low)) |
           static_cast<mask>(static_cast<unsigned>(_mm256_movemask_epi8(high))) << 32;
}

__attribute__((target("avx2"))) inline __m256i close_half(const char *q, char next, char other)
{
    __m256i after = bytes_at(q + 1);
    return _mm256_and_si256(is(bytes_at(q), ')'),
                            _mm256_or_si256(is(after, next), is(after, other)));
}

__attribute__((target("avx2"))) inline const char *close_hits_avx2(const char *p, const char *end,
                                                                   char next, char other, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + close_lookahead;) {
        m = bits_of(close_half(p, next, other), close_half(p + 32, next, other));
        p += m ? 0 : stretch;
    }
    return p;
}

// A table of 16 bytes in both halves of a vector, by the low four bits of
// the first letters p, t, x and l, which differ in them. Its other slots
// hold zero, which no byte looked up matches: each is read | 0x20.
__attribute__((target("avx2"))) inline __m256i by_first_letter(char p, char t, char x, char l)
{
    return _mm256_setr_epi8(p, 0, 0, 0, t, 0, 0, 0, x, 0, 0, 0, l, 0, 0, 0, //
                            p, 0, 0, 0, t, 0, 0, 0, x, 0, 0, 0, l, 0, 0, 0);
}

__attribute__((target("avx2"))) inline __m256i expect(__m256i table, __m256i row, __m256i v)
{
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, row), v);
}

// three_letters for 32 places at once: the first letter picks the letters
// to expect from the tables.
__attribute__((target("avx2"))) inline __m256i three_letters(__m256i a, __m256i b, __m256i c)
{
    __m256i row = _mm256_and_si256(a, _mm256_set1_epi8(15));
    return _mm256_and_si256(_mm256_and_si256(expect(by_first_letter('p', 't', 'x', 'l'), row, a),
                                             expect(by_first_letter('r', 'e', 'm', 'i'), row, b)),
                            expect(by_first_letter('e', 'x', 'p', 's'), row, c));
}

__attribute__((target("avx2"))) inline __m256i tag_half(const char *q)
{
    const __m256i lower = _mm256_set1_epi8(0x20);
    __m256i slash = bytes_at(q + 1), a = _mm256_or_si256(slash, lower),
            b = _mm256_or_si256(bytes_at(q + 2), lower),
            c = _mm256_or_si256(bytes_at(q + 3), lower),
            d = _mm256_or_si256(bytes_at(q + 4), lower);
    __m256i end_tag = _mm256_and_si256(is(slash, '/'), three_letters(b, c, d));
    return _mm256_and_si256(is(bytes_at(q), '<'), _mm256_or_si256(three_letters(a, b, c), end_tag));
}

__attribute__((target("avx2"))) inline const char *tag_hits_avx2(const char *p, const char *end,
                                                                 mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + tag_lookahead;) {
        m = bits_of(tag_half(p), tag_half(p + 32));
        p += m ? 0 : stretch;
    }
    return p;
}

// AVX-512 compares a whole stretch at once, into a mask.
__attribute__((target("avx512bw"))) inline __m512i stretch_at(const char *p)
{
    return _mm512_loadu_si512(p);
}

__attribute__((target("avx512bw"))) inline mask is(__m512i v, char c)
{
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

__attribute__((target("avx512bw"))) inline const char *
close_hits_avx512(const char *p, const char *end, char next, char other, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + close_lookahead;) {
        __m512i after = stretch_at(p + 1);
        m = is(stretch_at(p), ')') & (is(after, next) | is(after, other));
        p += m ? 0 : stretch;
    }
    return p;
}

// by_first_letter in every quarter of a vector.
__attribute__((target("avx512bw"))) inline __m512i by_first_letter_512(char p, char t, char x,
                                                                       char l)
{
    auto two = [](char a, char b) {
        return static_cast<long long>(static_cast<unsigned char>(a)) |
               static_cast<long long>(static_cast<unsigned char>(b)) << 32;
    };
    return _mm512_set4_epi64(two(x, l), two(p, t), two(x, l), two(p, t));
}

__attribute__((target("avx512bw"))) inline mask expect(__m512i table, __m512i row, __m512i v)
{
    return _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(table, row), v);
}

__attribute__((target("avx512bw"))) inline mask three_letters(__m512i a, __m512i b, __m512i c)
{
    __m512i row = _mm512_and_si512(a, _mm512_set1_epi8(15));
    return expect(by_first_letter_512('p', 't', 'x', 'l'), row, a) &
           expect(by_first_letter_512('r', 'e', 'm', 'i'), row, b) &
           expect(by_first_letter_512('e', 'x', 'p', 's'), row, c);
}

__attribute__((target("avx512bw"))) inline const char *tag_hits_avx512(const char *p,
                                                                       const char *end, mask &m)
{
    const __m512i lower = _mm512_set1_epi8(0x20);
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + tag_lookahead;) {
        __m512i slash = stretch_at(p + 1), a = _mm512_or_si512(slash, lower),
                b = _mm512_or_si512(stretch_at(p + 2), lower),
                c = _mm512_or_si512(stretch_at(p + 3), lower),
                d = _mm512_or_si512(stretch_at(p + 4), lower);
        m = is(stretch_at(p), '<') &
            (three_letters(a, b, c) | (is(slash, '/') & three_letters(b, c, d)));
        p += m ? 0 : stretch;
    }
    return p;
}
