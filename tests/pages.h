// The test pages, as a program built with their generated header (made with
// tarvel -z) sees them through its list of pages, ended by an empty entry.
#pragma once

#include <cstddef>
#include <type_traits>

#include "htmls.h"

struct page {
    const char *path; // "/" and the page's file name
    const char *text;
    size_t size; // the array's, its terminating zero included
    const unsigned char *gz;
    size_t gz_size; // the twin array's, its terminating zero included
    unsigned long gz_len;
    const char *etag;
};

// The length goes through a template argument: it must be a constant
// expression.
#define PAGE(path, raw, gz, gz_len, etag)                                                          \
    {path, raw, sizeof(raw), gz, sizeof(gz), std::integral_constant<unsigned long, gz_len>::value, \
     etag},
static const page pages[] = {tarvel_pages(PAGE){nullptr, nullptr, 0, nullptr, 0, 0, nullptr}};
#undef PAGE

// The pages without the empty entry, for a range-for.
static const struct {
    const page *begin() const
    {
        return pages;
    }
    const page *end() const
    {
        return pages + sizeof(pages) / sizeof(pages[0]) - 1;
    }
} test_pages = {};
