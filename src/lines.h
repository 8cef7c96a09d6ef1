// lines.h: the line rules of a page's block: indentation and empty lines
// go, but in preformatted text; every line ends in CR LF.
#pragma once

#include "page.h"

#include <cstddef>

void new_line(page &pg);

// Ends a line. It is written, with CR LF, unless it held its line end alone
// outside preformatted text. `strip` is how many CRs before the end belong
// to it: one before an LF, and up to two at the end of the page, where a
// line may hold nothing at all.
void end_line(page &pg, size_t strip, bool at_lf);

// Converts a block of the page, which may start or end inside a line.
void convert_block(page &pg, const char *p, const char *end);
