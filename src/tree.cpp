// tree.cpp: with -a, tells whether a file lies in the folder's tree,
// following its links one part at a time from the folder. Owns `root`.

#include "tree.h"

#include "options.h"
#include "sizes.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The real path of the folder that the run converts: the root of the tree
// whose files it takes; "?" where that path is too long to be had, which
// no absolute path starts with.
static char root[PATH_MAX];

bool find_root()
{
    if (realpath(".", root))
        return true;
    strcpy(root, "?");
    return errno == ENAMETOOLONG;
}

// Where the absolute path `link` leads below the root, into `below`
// (empty: the root itself); or why that cannot be had.
static const char *below_root(const char *link, char (&below)[PATH_MAX])
{
    size_t len = strcmp(root, "/") ? strlen(root) : 0; // the root's path, less a lone /
    char real[PATH_MAX];
    if (strncmp(link, root, len) != 0 || (link[len] != '/' && link[len])) {
        if (!realpath(link, real)) // through a link outside the tree, as /proc/self/cwd
            return errno == ENAMETOOLONG ? "its path is too long" : "it links outside the folder";
        if (strncmp(real, root, len) != 0 || (real[len] != '/' && real[len]))
            return "it links outside the folder";
        link = real;
    }
    snprintf(below, sizeof(below), "%s", link + len + (link[len] == '/'));
    return nullptr;
}

// Follows the links of `name`, a path below the folder, one part at a time
// from the folder itself, as the kernel would: into `at` goes where the file
// lies below the folder. Null when it lies there, else why not. Only a link
// is resolved, so the folder's own path, however long, plays no part.
static const char *resolve(const char *name, char (&at)[name_max])
{
    char rest[PATH_MAX], link[PATH_MAX], next[PATH_MAX];
    snprintf(rest, sizeof(rest), "%s", name);
    size_t len = 0;
    at[0] = '\0';
    int links = 0;
    for (const char *p = rest; *p;) {
        size_t n = strcspn(p, "/"), skip = n + (p[n] == '/');
        if (n == 0 || (n == 1 && p[0] == '.')) {
            p += skip;
            continue;
        }
        if (n == 2 && p[0] == '.' && p[1] == '.') {
            if (len == 0)
                return "it links outside the folder";
            const char *slash = strrchr(at, '/');
            len = slash ? static_cast<size_t>(slash - at) : 0;
            at[len] = '\0';
            p += skip;
            continue;
        }
        size_t was = len;
        if (len + (len > 0) + n >= sizeof(at))
            return "its path is too long";
        len +=
            snprintf(at + len, sizeof(at) - len, "%s%.*s", len ? "/" : "", static_cast<int>(n), p);
        struct stat st;
        if (fstatat(AT_FDCWD, at, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
            p += skip;
            continue;
        }
        ssize_t k = readlinkat(AT_FDCWD, at, link, sizeof(link) - 1);
        if (++links > links_max || k <= 0)
            return "it links outside the folder";
        link[k] = '\0';
        len = was; // the link's target lies from its own folder on
        at[len] = '\0';
        const char *target = link;
        if (link[0] == '/') {
            if (const char *why = below_root(link, next))
                return why;
            target = next;
            len = 0;
            at[0] = '\0';
        }
        char joined[PATH_MAX]; // the target, then what is left of the name after the link
        if (snprintf(joined, sizeof(joined), "%s/%s", target, p + skip) >=
            static_cast<int>(sizeof(joined)))
            return "its path is too long";
        strcpy(rest, joined);
        p = rest;
    }
    return nullptr;
}

const char *outside_tree(const char *name, const struct stat &opened)
{
    if (!mode.tree)
        return nullptr;
    char at[name_max];
    struct stat there;
    if (const char *why = resolve(name, at))
        return why;
    if (!at[0] || fstatat(AT_FDCWD, at, &there, 0) != 0 || there.st_dev != opened.st_dev ||
        there.st_ino != opened.st_ino)
        return "it links outside the folder";
    if (at[0] == '.' || strstr(at, "/."))
        return "it links to a name that starts with a dot";
    return nullptr;
}

bool links_to_folder(const char *path)
{
    struct stat link, target;
    return lstat(path, &link) == 0 && S_ISLNK(link.st_mode) && stat(path, &target) == 0 &&
           S_ISDIR(target.st_mode);
}
