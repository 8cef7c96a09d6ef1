// The second source file of the walk: it includes the same header and
// counts its pages through the list. Before C++17, a header of -a defines
// its arrays in one file alone: this one declares them. It may be included
// twice.

#define PROGMEM
#define TARVEL_EXTERN
#include "htmls.h"
#ifdef tarvel_files
#include "htmls.h"
#endif

#ifdef tarvel_files
#define ONE(path, type, data, len, gz, gz_len, etag) +1
int pages_in_second_file()
{
    return 0 tarvel_files(ONE);
}
#else
#define ONE(path, raw, gz, gz_len, etag) +1
int pages_in_second_file()
{
    return 0 tarvel_pages(ONE);
}
#endif
