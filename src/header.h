// header.h: the one writer of ../htmls.h: all text goes through put().
#pragma once

#include "replace.h"
#include "sizes.h"

#include <cstring>
#include <initializer_list>

// Everything written goes through `out`, so that the header is written in
// large blocks, into its replacement file, which takes the old header's
// place only once complete: a run that fails or is interrupted leaves the
// old header as it was. Most runs give the old header's bytes again, so
// the new header is held against the old one as it comes, and its file
// gets bytes only from the first that differ:
//
//   open_header --> comparing: the new file is empty; the first `matched`
//        |          bytes of the new header are the old one's
//        |--a difference, or the old one ends--> the old one's first
//        |          `matched` bytes are copied into the new file --> writing
//        |--end_header: the old one ends there too--> unchanged: the old
//                   header stays, and the new file goes
//   open_header --> writing, where there is no old header to read
extern char out[header_buffer];
extern size_t out_len;

// Is there any point in writing on? A header short of text or that may not
// replace the old one is not put in place.
bool header_may_be_whole();

// Appends text that `out` has no room for: after what waits there, or,
// larger than `out`, from where it stands.
void put_past_out(const char *p, size_t n);

// Text that should have gone into the header is lost: it is not whole.
void text_lost();

// Starts the new header beside the file it replaces, with that file's
// permissions (a new header gets 0666 less the umask, as any new file),
// comparing it with the old one where that can be read. False when there
// is no header to be written: a folder, a FIFO, a device or a read-only
// file stands in its place, or its folder cannot be written.
bool open_header();

// Ends the header, the one verdict on it, which it reports should the
// header fail. When the run listed every page (`listed`) and the new header
// is whole, it takes the old one's place, flushed to disk first and its
// folder after; but when it holds the old one's bytes, and in every other
// case, the old one stays untouched, modification time and all. An old
// header of several names (hard links) is kept too, since all but one of
// them would keep the old header.
void end_header(bool listed);

// Writes a byte as it stands in a string literal, at to; returns how many
// characters that takes. A printable byte stands as itself; any other, and
// " \ and ? (which may start a trigraph), becomes a three-digit octal
// escape, which no digit after it can lengthen.
size_t escape(unsigned char c, char *to);

// Writes bytes as a string literal of twin_line bytes a line, a line end
// before every line but the array's first (`first`, which it clears), so
// that the caller ends the last line. Escapes compile far faster than a
// list of numbers.
void put_literal(const unsigned char *p, size_t n, bool &first);

void put_strings(std::initializer_list<const char *> strings);

// Writes what waits in `out` to the header.
void flush_out();

// Is the page with this file the old header? Then the run must keep the
// old header (keep_old_header): replacing it would replace the page.
bool is_old_header(const struct stat &page);
void keep_old_header();

// Appends text to the header. Most lines are short: gathering them in `out`
// makes one write of many, and this, small enough to be inlined, costs a
// line little.
inline void put(const char *p, size_t n)
{
    if (out_len + n > sizeof(out))
        return put_past_out(p, n);
    memcpy(out + out_len, p, n);
    out_len += n;
}

inline void put_string(const char *s)
{
    put(s, strlen(s));
}
