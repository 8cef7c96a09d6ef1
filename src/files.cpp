// files.cpp: opens, reads and writes files safely, for every other part of
// tarvel (files.h says what each call does). Owns no state.

#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int open_regular(const char *path, struct stat *st)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && (fstat(fd, st) != 0 || !S_ISREG(st->st_mode))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

int open_writable(const char *path, int flags)
{
    int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags, 0666);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & 0222))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool may_replace(const char *path)
{
    struct stat st;
    if (lstat(path, &st) != 0)
        return errno == ENOENT;
    if (S_ISLNK(st.st_mode))
        return true;
    int probe = open_writable(path, 0);
    if (probe >= 0)
        close(probe);
    return probe >= 0;
}

long read_full(int fd, char *p, size_t n)
{
    size_t have = 0;
    while (have < n) {
        ssize_t got = read(fd, p + have, n - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        have += got;
    }
    return static_cast<long>(have);
}

bool write_full(int fd, const char *p, size_t n)
{
    while (n > 0) {
        ssize_t done = write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= done;
    }
    return true;
}

int folder_len(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? static_cast<int>(slash - path + 1) : 0;
}

void folder_of(const char *path, char (&dir)[PATH_MAX])
{
    int len = folder_len(path);
    snprintf(dir, sizeof(dir), "%.*s", len ? len : 1, len ? path : ".");
}

bool sync_folder(const char *path)
{
    char dir[PATH_MAX];
    folder_of(path, dir);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = fd >= 0 && (fsync(fd) == 0 || errno == EINVAL);
    if (fd >= 0)
        close(fd);
    return ok;
}
