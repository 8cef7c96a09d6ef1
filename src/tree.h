// tree.h: with -a, the tree of files below the folder: which files lie in
// it, their links followed.
#pragma once

#include <sys/stat.h>

// Finds the real path of the folder, the tree's root (-a), where it can be
// had; false when the folder cannot be read.
bool find_root();

// Why the file `name`, open as `opened`, is no file of the tree, or null
// (and always without -a): the tree holds the files below the root whose
// names start with no dot. The file where the name leads must be the one
// that was opened, so a link that changes meanwhile is refused.
const char *outside_tree(const char *name, const struct stat &opened);

// Is path a link to a folder?
bool links_to_folder(const char *path);
