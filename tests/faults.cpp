// Preloaded into tarvel by the tests, fails what TARVEL_FAULT names as the
// kernel or the C library fails it:
//   rename   the rename that puts the header in place: just before it, a
//            folder that is not empty takes the header's place
//   flush    fdatasync, with EIO, as a disk that lost the writes
//   threads  pthread_create, with EAGAIN, as under a limit of processes
//   copy     copy_file_range, which copies nothing (0) as though the old
//            header had ended, errno left at EXDEV from an earlier call
//   taken    linkat to the first name it is given, with EEXIST: the
//            temporary name that an unnamed file is to get first is taken

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static bool fault(const char *name)
{
    const char *f = getenv("TARVEL_FAULT");
    return f && !strcmp(f, name);
}

template <typename F> static F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

extern "C" int rename(const char *from, const char *to)
{
    size_t n = strlen(to);
    if (fault("rename") && n >= 7 && !strcmp(to + n - 7, "htmls.h") && mkdir(to, 0755) == 0)
        fclose(fopen((std::string(to) + "/in_the_way").c_str(), "w"));
    static auto real = next<int (*)(const char *, const char *)>("rename");
    return real(from, to);
}

extern "C" int fdatasync(int fd)
{
    if (fault("flush")) {
        errno = EIO;
        return -1;
    }
    static auto real = next<int (*)(int)>("fdatasync");
    return real(fd);
}

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *),
                              void *arg)
{
    if (fault("threads"))
        return EAGAIN;
    using create_t = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static auto real = next<create_t>("pthread_create");
    return real(thread, attr, start, arg);
}

extern "C" ssize_t copy_file_range(int in, off_t *in_at, int out, off_t *out_at, size_t n,
                                   unsigned flags)
{
    if (fault("copy")) {
        errno = EXDEV;
        return 0;
    }
    using copy_t = ssize_t (*)(int, off_t *, int, off_t *, size_t, unsigned);
    static auto real = next<copy_t>("copy_file_range");
    return real(in, in_at, out, out_at, n, flags);
}

extern "C" int linkat(int from_dir, const char *from, int to_dir, const char *to, int flags)
{
    static std::string first; // the name taken
    if (fault("taken") && (first.empty() || first == to)) {
        first = to;
        errno = EEXIST;
        return -1;
    }
    static auto real = next<int (*)(int, const char *, int, const char *, int)>("linkat");
    return real(from_dir, from, to_dir, to, flags);
}
