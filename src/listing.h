// listing.h: list.txt, the names that the run converts.
#pragma once

#include <cstddef>
#include <cstdio>

// Reads one line of a listing into name, without its line feed, and
// returns its length, or -1 at the end. A line too long for name is still
// read to its end, and its full length returned.
long read_name(FILE *list, char *name, size_t size);

// Lists the folder's pages into a new list.txt, which replaces the old one
// whole (a link at list.txt is replaced, never written through). Returns
// the listing, open at its start: the run reads the names it wrote itself,
// whatever another run does to list.txt meanwhile. Null when the listing
// could not be made or written. With -a, it lists the files of the
// folder's tree instead.
FILE *list_pages();
