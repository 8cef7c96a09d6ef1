// Preloaded into tarvel by the tests, makes this file system one without
// unnamed files: an open with O_TMPFILE fails as it does where the file
// system does not support it, so that tarvel falls back to named
// temporary files.

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

extern "C" int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
    va_end(args);
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    using open_t = int (*)(const char *, int, ...);
    static open_t next = reinterpret_cast<open_t>(dlsym(RTLD_NEXT, "open"));
    return next(path, flags, mode);
}
