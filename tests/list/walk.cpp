// Walks the list of pages of a header made with tarvel -z (or the list of
// files of one made with tarvel -a -z), as a firmware registers its pages,
// and prints each page's path, the sizes of its arrays and its ETag. The
// list is expanded into a table ended by an empty entry, so that a folder
// without pages gives a table all the same; the header is included by a
// second source file too (second.cpp), as in a firmware of several files.

#include <stdio.h>

#define PROGMEM
#include "htmls.h"

struct page {
    const char *path;
    const char *text;
    unsigned long size;
    const unsigned char *gz;
    unsigned long gz_len;
    const char *etag;
};

#ifdef tarvel_files // tarvel -a
#define ROW(path, type, data, len, gz, gz_len, etag) {path, data, len, gz, gz_len, etag},
static const page pages[] = {tarvel_files(ROW){nullptr, nullptr, 0, nullptr, 0, nullptr}};
#else
#define ROW(path, raw, gz, gz_len, etag) {path, raw, sizeof(raw), gz, gz_len, etag},
static const page pages[] = {tarvel_pages(ROW){nullptr, nullptr, 0, nullptr, 0, nullptr}};
#endif

int pages_in_second_file();

int main()
{
    int n = 0;
    for (const page *p = pages; p->path; p++, n++)
        printf("%s %lu %lu %s\n", p->path, p->size, p->gz_len, p->etag ? p->etag : "-");
    printf("%d pages, %d in the second file\n", n, pages_in_second_file());
    return n == pages_in_second_file() ? 0 : 1;
}
