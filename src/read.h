// read.h: the block of the page that the converter works in, and how it
// is read.
#pragma once

#include "sizes.h"

#include <cstddef>

extern char in[block_size]; // a block of the page being converted

// How pages are read: read_full, but for a test that reads them its own way.
extern long (*read_page)(int fd, char *p, size_t n);

// Reads the next block of the page into `in`, or its first when
// `from_start`, behind the last `kept` of the `have` bytes that `in` held,
// which go to its front. Returns the bytes now in `in` (kept ones
// included), 0 at the end, or -1 when reading failed. Pages are read with
// read(2) straight into `in`: stdio would only copy.
long read_block(int fd, long have, size_t kept, bool from_start);
