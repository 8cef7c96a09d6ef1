// sizes.h: every fixed size of tarvel, and the names of the two files it
// writes. A size that is a sum says its parts. Tables and texts live in the
// file that uses them.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Set by the build (CMakeLists.txt), which gives the tests the same values,
// so that they hit the edges they exist to hit.
#if !defined(TARVEL_BLOCK) || !defined(TARVEL_STRETCH)
#error "the build sets TARVEL_BLOCK and TARVEL_STRETCH; see CMakeLists.txt"
#endif

constexpr char list_name[] = "list.txt";
constexpr char header_name[] = "../htmls.h";

// Bytes of a page read at a time: the whole of most pages. A larger page is
// read twice, to pick its delimiter first.
constexpr size_t block_size = TARVEL_BLOCK;
// Bytes that the searches for closing sequences and tags skip at a time,
// where a few vector compares show that they cannot hold one.
constexpr size_t stretch = TARVEL_STRETCH;
// Bytes of the header gathered before a write: most lines are short.
constexpr size_t header_buffer = 1 << 15;
// Bytes of the old header read at a time, to hold the new one against it
// or to copy what they share: one read for each write of the buffer.
constexpr size_t old_header_chunk = header_buffer;
// Bytes of a new header written before they are flushed to disk while the
// run goes on, so that the flush at the end finds most of them there.
constexpr off_t writeback_chunk = 8 << 20;
// Stack of the thread that flushes them, which only waits and flushes.
constexpr size_t flusher_stack = 1 << 16;

// Far more than the longest file name Linux allows (255 bytes); with -a,
// the longest path below the folder that the run takes.
constexpr size_t name_max = 4096;
// Numbers that tell apart the files of one identifier (-a): "_2" and on.
constexpr size_t number_max = sizeof("_4294967295") - 1;
constexpr unsigned numbers_tried = 1000000;
// An identifier: a _ in front of a leading digit, the name, and a number.
constexpr size_t id_max = 1 + name_max + number_max;
// C++ allows a raw string delimiter of at most 16 characters.
constexpr size_t delimiter_max = 16;
// Delimiters that one pass over a page tells apart: a bit each.
constexpr long long delimiter_window = 1 << 20;
// The longest of the names of the tags of preformatted text ("textarea").
constexpr size_t tag_max = 8;
// Links followed from ../htmls.h to the header itself, as the kernel allows.
constexpr int links_max = 40;

// Bytes of the bit set that answers most lookups of an identifier; a hit
// is confirmed against the journal. With 8 million bits, under 1 lookup in
// 20,000 is a false hit at 100,000 pages.
constexpr size_t seen_bytes = 1 << 20;
// Bits of the bit set that an identifier sets.
constexpr int seen_hashes = 3;
// Bytes of the record's lines gathered before a write, and read back at a
// time; a line must fit: an identifier, a space, a flag, a space, a name and
// a line feed.
constexpr size_t record_buffer = 1 << 14;
static_assert(record_buffer > id_max + 3 + name_max + 1, "a line fits the record's buffer");

// The most text of one page that -z compresses: a page is compressed whole.
constexpr size_t twin_max = 1 << 24;
// Room for its gzip twin: the text, a byte more in 1,024 and 1,024 bytes,
// above what libdeflate may need for twin_max bytes (16,794,023 in 1.14).
constexpr size_t twin_gz_max = twin_max + twin_max / 1024 + 1024;
// libdeflate's best: slow, but a header is written once and served often.
constexpr int gzip_level = 12;
// Bytes of a twin written on one line of the header.
constexpr size_t twin_line = 32;
// An entry of the list of pages or files: the name, as escapes of up to 4
// characters a byte, the identifier five times, a type, and under 100
// bytes of text around them.
constexpr size_t type_max = 40;
constexpr size_t entry_max = 4 * name_max + 5 * id_max + type_max + 100;
