// twins.h: the end of each block: its length, ETag and gzip twin, and
// which of array and twin it keeps; the text of a block goes through here.
#pragma once

#include "header.h"
#include "options.h"

#include <cstddef>

extern bool holding;

void start_twins();

void end_twins();

// Gathers text of the block for its twin, its length and its ETag.
void gather_text(const char *p, size_t n);

void open_array(const char *id, const char *delim);

// Holds text of a held array; false when the text outgrows `text`: the
// array is released, with no twin, and the caller writes the text on.
bool hold(const char *p, size_t n);

// Appends a file's bytes to its array.
void put_file_bytes(const char *p, size_t n);

// Ends the array, unless it is held: its text is all there.
void close_array();

// Ends the block `id` of the file `name`, `bytes` long on disk: its array
// where it is kept, and with -a its length id_len; with -z, its gzip twin
// id_gz and the twin's length id_gz_len (neither length counts a literal's
// terminating zero); with either, id_etag, a strong ETag, the quoted
// CRC-32 of the twin's bytes, or of the block's where there is no twin.
// Returns what the block kept: 'g' the array and its twin, 'z' the twin
// alone, '-' the array alone.
char end_block(const char *name, const char *id, unsigned long long bytes);

// Says, with -a, what the files in the header cost: their bytes on disk,
// and the bytes of the arrays that hold them, twins included.
void report_cost();

// A run without -z or -a gathers nothing: it costs a test a line.
inline void gather(const char *p, size_t n)
{
    if (mode.gzip || mode.tree)
        gather_text(p, n);
}

// Appends text of the page's block, which its twin holds too.
inline void put_text(const char *p, size_t n)
{
    if (holding && hold(p, n))
        return;
    put(p, n);
    gather(p, n);
}

// Ends a line of the block. The header's lines end in CR LF, which a
// compiler reads as LF.
inline void put_line_end()
{
    if (holding && hold("\n", 1))
        return;
    put("\r\n", 2);
    gather("\n", 1);
}
