// files.h: the file calls every part of tarvel makes: regular files opened
// without blocking, reads and writes that go on until done, folders.
#pragma once

#include <climits>
#include <cstddef>
#include <sys/stat.h>

// Opens a regular file for reading; returns its descriptor, or -1. A folder
// or a device is no page, and opening a FIFO the ordinary way would block
// the run until a writer came.
int open_regular(const char *path, struct stat *st);

// Opens a file for writing without changing it. Only a regular file that
// may be written qualifies: a read-only one is refused even for root, and
// a FIFO or a device could block the run or swallow what it is given.
int open_writable(const char *path, int flags);

// May the file at path be replaced by a file of ours? A link is replaced,
// never followed; anything else must be a file we may write.
bool may_replace(const char *path);

// Reads up to n bytes, however many reads that takes; returns the bytes
// read (fewer only at the end of the file), or -1 when reading failed.
long read_full(int fd, char *p, size_t n);

// Writes n bytes, however many writes that takes; false when writing failed.
bool write_full(int fd, const char *p, size_t n);

// The length of the folder part of path, its last / included.
int folder_len(const char *path);

// The folder that path lies in, for open.
void folder_of(const char *path, char (&dir)[PATH_MAX]);

// Flushes path's folder to disk, so that a renamed file keeps its name over
// a power loss. A file system that cannot flush a folder does not need to.
bool sync_folder(const char *path);
