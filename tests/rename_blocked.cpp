// Preloaded into tarvel by the tests, makes the rename that puts the header
// in place fail as the kernel fails it: just before it, a folder that is
// not empty takes the header's place.

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>

extern "C" int rename(const char *from, const char *to)
{
    size_t n = strlen(to);
    if (n >= 7 && !strcmp(to + n - 7, "htmls.h") && mkdir(to, 0755) == 0)
        fclose(fopen((std::string(to) + "/in_the_way").c_str(), "w"));
    using rename_t = int (*)(const char *, const char *);
    static rename_t next = reinterpret_cast<rename_t>(dlsym(RTLD_NEXT, "rename"));
    return next(from, to);
}
