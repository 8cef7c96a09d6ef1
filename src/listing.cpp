// listing.cpp: lists the folder's pages (-a: the files of its tree) into a
// new list.txt, which the run reads back. Owns no state.

#include "listing.h"

#include "convert.h"
#include "files.h"
#include "options.h"
#include "replace.h"
#include "report.h"
#include "sizes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fts.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

long read_name(FILE *list, char *name, size_t size)
{
    size_t len = 0;
    int c;
    while ((c = getc(list)) != EOF && c != '\n') {
        if (len < size - 1)
            name[len] = static_cast<char>(c);
        len++;
    }
    name[std::min(len, size - 1)] = '\0';
    return c == EOF && len == 0 ? -1 : static_cast<long>(len);
}

// Writes the names of the folder's pages to `to`, one a line, in byte
// order: ls sorts them. It gets none of the caller's environment (locale,
// quoting style, colours, widths) and is handed no pattern, only the folder
// to list, so any number of pages in any environment gives the same
// listing; the names that the pattern *.html matches are picked here. False
// when ls could not be run, or failed.
static bool list_folder(FILE *to)
{
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0)
        return false;
    char ls[] = "ls", all[] = "-a", locale[] = "LC_ALL=C";
    char *argv[] = {ls, all, nullptr}, *envp[] = {locale, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    bool ok = posix_spawnp(&pid, ls, &actions, nullptr, argv, envp) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    FILE *names = fdopen(pipe_fds[0], "r");
    char name[name_max];
    long len;
    while (names && (len = read_name(names, name, sizeof(name))) >= 0)
        if (name[0] != '.' && is_page(name, len))
            fprintf(to, "%s\n", name);
    if (names)
        fclose(names);
    else
        close(pipe_fds[0]);
    int st;
    return ok && waitpid(pid, &st, 0) == pid && WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// Orders the entries of a folder for the walk so that it meets the paths
// in byte order: a folder's name counts as if it ended in /, as the paths
// below it do (a/b comes after a-c).
static int by_path(const FTSENT **a, const FTSENT **b)
{
    auto at = [](const FTSENT *e, size_t i) {
        if (i < e->fts_namelen)
            return static_cast<int>(static_cast<unsigned char>(e->fts_name[i]));
        return i == e->fts_namelen && e->fts_info == FTS_D ? '/' : -1;
    };
    for (size_t i = 0;; i++)
        if (at(*a, i) != at(*b, i) || at(*a, i) < 0)
            return at(*a, i) - at(*b, i);
}

// Writes the paths of the files of the folder's tree to `to`, one a line,
// in byte order (-a): every file below the folder but list.txt and those
// whose names, or those of a folder they lie in, start with a dot. A link
// is listed, never followed here: whether it leads to a file of the tree
// is judged when it is opened. What cannot be listed is reported; false
// when the walk could not be made.
static bool list_tree(FILE *to)
{
    char here[] = ".";
    char *const from[] = {here, nullptr};
    FTS *tree = fts_open(from, FTS_PHYSICAL | FTS_NOCHDIR, by_path);
    if (!tree)
        return false;
    errno = 0;
    while (FTSENT *e = fts_read(tree)) {
        const char *path = e->fts_path + sizeof("./") - 1;
        if (e->fts_level == 0 || e->fts_info == FTS_DP)
            continue;
        if (e->fts_name[0] == '.' || (e->fts_level == 1 && !strcmp(e->fts_name, list_name)))
            fts_set(tree, e, FTS_SKIP);
        else if (strchr(e->fts_name, '\n') || e->fts_pathlen - (sizeof("./") - 1) >= name_max) {
            char shown[name_max + NAME_MAX + 1]; // a path too long by its last name at most
            snprintf(shown, sizeof(shown), "%s", path);
            std::replace(shown, shown + strlen(shown), '\n', '?');
            report(failure, "Can't convert file %s: its %s\n", shown,
                   strchr(e->fts_name, '\n') ? "name holds a line feed" : "path is too long");
            fts_set(tree, e, FTS_SKIP);
        } else if (e->fts_info == FTS_DNR || e->fts_info == FTS_ERR || e->fts_info == FTS_DC) {
            report(failure, "Can't open folder %s\n", path);
        } else if (e->fts_info != FTS_D) {
            fprintf(to, "%s\n", path);
        }
        errno = 0;
    }
    bool ok = errno == 0;
    fts_close(tree);
    return ok;
}

FILE *list_pages()
{
    replacement file = {-1, 0, ""};
    struct stat old;
    bool regular = lstat(list_name, &old) == 0 && S_ISREG(old.st_mode);
    if (!may_replace(list_name) || !start_file(file, list_name, regular ? &old : nullptr))
        return nullptr;
    FILE *list = fdopen(file.fd, "w+");
    bool ok = list && (mode.tree ? list_tree(list) : list_folder(list)) && fflush(list) == 0 &&
              !ferror(list) && put_in_place(file, list_name) && fseek(list, 0, SEEK_SET) == 0;
    if (!ok)
        drop_file(file);
    if (!list)
        close_file(file);
    else if (!ok)
        fclose(list);
    file.fd = -1; // closed, or the stream's
    return ok ? list : nullptr;
}
