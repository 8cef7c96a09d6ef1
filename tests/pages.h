// The test pages, as a program built with their generated header (made with
// tarvel -z) sees them: one entry a page, from the list of page names that
// the build generates, PAGE(name) a line (pages.inc).
#pragma once

#include <cstddef>
#include <type_traits>

#include "htmls.h"

struct page {
    const char *name;
    const char *text;
    size_t size; // the array's, its terminating zero included
    const unsigned char *gz;
    size_t gz_size; // the twin array's, its terminating zero included
    unsigned long gz_len;
    const char *etag;
};

// The length goes through a template argument: it must be a constant
// expression.
#define PAGE(name)                                                                                 \
    {#name,                                                                                        \
     name##_html,                                                                                  \
     sizeof(name##_html),                                                                          \
     name##_html_gz,                                                                               \
     sizeof(name##_html_gz),                                                                       \
     std::integral_constant<unsigned long, name##_html_gz_len>::value,                             \
     name##_html_etag},
static const page pages[] = {
#include "pages.inc"
};
#undef PAGE
