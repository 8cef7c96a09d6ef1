// replace.h: files that replace others whole, list.txt and the header, and
// the run's own files.
#pragma once

#include <climits>
#include <csignal>
#include <sys/stat.h>

// A file written anew that takes the place of the one at its path only once
// complete: list.txt and the header. Where the file system allows it, the
// new file has no name until then (O_TMPFILE), so that a run that dies in
// any way leaves nothing behind; elsewhere it gets a temporary name beside
// the old one at once.
//
//   start_file --> unnamed --link_temp--> named --put_in_place--> in place
//             \--> named (no O_TMPFILE) --/
//   drop_file: a file not in place loses its temporary name, if it has one
//
// From start_file until put_in_place or drop_file the file is live: the
// signal handler walks the live files and removes the temporary names.
// close_file closes the descriptor and sets it to -1.
struct replacement {
    int fd;
    volatile sig_atomic_t named; // `temp` exists and is this file
    char temp[PATH_MAX];
};

// Counts the regular file open at fd among the run's own, under name.
void add_own(int fd, const char *name);

// Every signal that would end the run, but for those of a fault in the
// program itself; a signal the caller ignored stays ignored (nohup, a
// background job of a script).
void catch_signals();

// Starts the live file that will replace path, in path's folder, with the
// permissions of `old` (and, if the run may give it away, its owner), or
// those of any new file where there is no old one. False, with nothing
// started, when the folder takes no new file.
bool start_file(replacement &f, const char *path, const struct stat *old);

// Puts the complete file in place of whatever stands at path, a link
// included, which is replaced, never followed. Either way the file is no
// longer live.
bool put_in_place(replacement &f, const char *path);

// Gives up a file that did not get its place: it is no longer live.
void drop_file(replacement &f);

void close_file(replacement &f);

// The name of the run's own file that st is, or null.
const char *own_name(const struct stat &st);
