// read.cpp: reads a page a block at a time into `in`, which the converter
// works in. Owns `in` and `read_page`.

#include "read.h"

#include "files.h"

#include <cstring>
#include <unistd.h>

char in[block_size];
long (*read_page)(int fd, char *p, size_t n) = read_full;

long read_block(int fd, long have, size_t kept, bool from_start)
{
    if (from_start && lseek(fd, 0, SEEK_SET) != 0)
        return -1;
    memmove(in, in + have - kept, kept);
    long got = read_page(fd, in + kept, sizeof(in) - kept);
    return got > 0 ? static_cast<long>(kept) + got : got;
}
