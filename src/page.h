// page.h: what the converter knows of the page it converts, which the
// delimiter (delim, needle) and the line rules (the rest) fill in.
#pragma once

#include "sizes.h"

#include <cstddef>

// What the converter knows of the page it converts. A line may run over any
// number of blocks, so this lives from one block to the next.
struct page {
    int fd;
    long first;                     // bytes of the first read: the whole page if below sizeof(in)
    char delim[delimiter_max + 1];  // the raw string's delimiter
    char needle[delimiter_max + 3]; // ) delim ": must not occur in the text
    size_t needle_len;
    // The current line
    bool keep;    // it started inside preformatted text, so it is kept as it stands
    bool leading; // still in the indentation, which is dropped
    bool body;    // holds more than its line end, so it is written
    size_t crs;   // CRs held back, since the last ones may be the line end
    // The preformatted text open at this point of the page
    size_t depth;      // <pre> and <listing> elements open
    size_t raw;        // 1 + the tag_names index of the open <textarea> or <xmp>, or 0
    bool in_tag;       // a < has been read that may start a tag of theirs
    bool end_tag;      // ... followed by /
    char tag[tag_max]; // ... and these letters, in lower case
    size_t tag_len;
};
