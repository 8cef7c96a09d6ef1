// convert.h: one page (with -a, one file of the tree) into its block of the
// header.
#pragma once

// Appends the file `name` to the header as the array `id` (with -a,
// numbered where another file has it): a page (with -a, a file named
// *.html) as a raw string by the line rules, any other file as its bytes.
// A file that cannot be read still gets its closing line, so the header
// stays whole; one that is one of the run's own files, or (-a) lies out of
// the tree, gets no block, and is reported.
void tarvel(const char *name, const char *id);

// A listing line names a page when it holds a whole name ending in ".html".
bool is_page(const char *name, long len);
