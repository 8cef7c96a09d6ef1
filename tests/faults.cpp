// Preloaded into tarvel by the tests, fails what TARVEL_FAULT names as the
// kernel or the C library fails it:
//   rename   the rename that puts the header in place: just before it, a
//            folder that is not empty takes the header's place
//   flush    fdatasync, with EIO, as a disk that lost the writes
//   threads  pthread_create, with EAGAIN, as under a limit of processes

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>

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
