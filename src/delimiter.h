// delimiter.h: the raw string delimiter of a page, and the search for the
// sequence that would close it.
#pragma once

#include "page.h"

#include <cstddef>

// Does the block of n bytes at p hold needle, a ) and more?
bool holds(const char *p, size_t n, const char *needle, size_t len);

// Picks the first delimiter that the page does not take, in one pass over
// it; only a page that takes a whole window of them (over a million) needs
// a pass more. False when reading the page failed.
bool pick_delimiter(page &pg);
