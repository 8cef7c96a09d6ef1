// The second source file of the walk: it includes the same header and
// counts its pages through the list.

#define PROGMEM
#include "htmls.h"

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
