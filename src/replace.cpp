// replace.cpp: files written anew that take an old file's place only once
// complete (replace.h), and the run's own files, which no page may be.
// Owns `live`, `fatal_signals`, `own` and `own_count`.

#include "replace.h"

#include "files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <iterator>
#include <unistd.h>

static replacement *volatile live[2]; // at most list.txt's and the header's
static sigset_t fatal_signals;        // those that remove the temporary names first

// The run's own files: those it started, and its standard output and error
// where they are files; no page may be one of them, however it is reached
// (a link, /proc/self/fd, another name).
static struct {
    dev_t dev;
    ino_t ino;
    const char *name;
} own[4];
static size_t own_count;

void add_own(int fd, const char *name)
{
    struct stat st;
    if (own_count < std::size(own) && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        own[own_count++] = {st.st_dev, st.st_ino, name};
}

// Interrupted, the run removes the temporary names of its live files, then
// dies of the signal as it would have.
static void on_signal(int sig)
{
    for (replacement *f : live)
        if (f && f->named)
            unlink(f->temp);
    signal(sig, SIG_DFL);
    raise(sig);
}

void catch_signals()
{
    sigemptyset(&fatal_signals);
    for (int sig = 1; sig <= SIGRTMAX; sig++) {
        bool fatal = sig >= SIGRTMIN;
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                      SIGPROF, SIGXCPU, SIGIO, SIGPWR, SIGSTKFLT})
            fatal |= sig == s;
        struct sigaction was;
        if (fatal && sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            sigaddset(&fatal_signals, sig);
    }
    struct sigaction on = {};
    on.sa_handler = on_signal;
    on.sa_mask = fatal_signals;
    on.sa_flags = SA_RESTART;
    for (int sig = 1; sig <= SIGRTMAX; sig++)
        if (sigismember(&fatal_signals, sig) == 1)
            sigaction(sig, &on, nullptr);
}

// While a file becomes live or stops being so, or its temporary name comes
// or goes, a signal waits, so that the handler never misses a name or
// removes another file's.
static void hold_signals(bool hold)
{
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &fatal_signals, nullptr);
}

// Makes f live, or no longer live; signals are held.
static void set_live(replacement &f, bool on)
{
    for (auto &slot : live)
        if (on ? slot == nullptr : slot == &f) {
            slot = on ? &f : nullptr;
            return;
        }
}

// Names f's temporary file .NAME.XXXXXX beside path, XXXXXX left for the
// caller to fill.
static bool temp_name(replacement &f, const char *path)
{
    int dir = folder_len(path);
    return snprintf(f.temp, sizeof(f.temp), "%.*s.%s.XXXXXX", dir, path, path + dir) <
           static_cast<int>(sizeof(f.temp));
}

bool start_file(replacement &f, const char *path, const struct stat *old)
{
    char dir[PATH_MAX];
    folder_of(path, dir);
    hold_signals(true);
    f.named = false;
    f.fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (f.fd < 0 && temp_name(f, path)) { // a file system without unnamed files
        f.fd = mkostemp(f.temp, O_CLOEXEC);
        f.named = f.fd >= 0;
    }
    if (f.fd >= 0)
        set_live(f, true);
    hold_signals(false);
    if (f.fd < 0)
        return false;
    add_own(f.fd, path);
    mode_t mask = umask(0);
    umask(mask);
    // Failing to give the file away is no failure: it stays the runner's.
    if (old)
        (void)!fchown(f.fd, old->st_uid, old->st_gid);
    fchmod(f.fd, old ? old->st_mode & 07777 : 0666 & ~mask);
    return true;
}

// Gives an unnamed file a temporary name beside path, a free one.
static bool link_temp(replacement &f, const char *path)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    char proc[sizeof("/proc/self/fd/") + 3 * sizeof(int)];
    snprintf(proc, sizeof(proc), "/proc/self/fd/%d", f.fd);
    unsigned long long seed = static_cast<unsigned long long>(getpid()) * 2654435761u;
    for (int tries = 0; tries < 100; tries++) {
        if (!temp_name(f, path))
            return false;
        char *x = f.temp + strlen(f.temp) - 6;
        for (int i = 0; i < 6; i++, seed = seed * 6364136223846793005ULL + tries + 1)
            x[i] = letters[(seed >> 33) % (sizeof(letters) - 1)];
        hold_signals(true);
        f.named = linkat(AT_FDCWD, proc, AT_FDCWD, f.temp, AT_SYMLINK_FOLLOW) == 0 ||
                  linkat(f.fd, "", AT_FDCWD, f.temp, AT_EMPTY_PATH) == 0;
        hold_signals(false);
        if (f.named)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool put_in_place(replacement &f, const char *path)
{
    bool ok = f.named || link_temp(f, path);
    hold_signals(true);
    ok = ok && rename(f.temp, path) == 0;
    if (!ok && f.named)
        unlink(f.temp);
    f.named = false;
    set_live(f, false);
    hold_signals(false);
    return ok;
}

void drop_file(replacement &f)
{
    hold_signals(true);
    if (f.named)
        unlink(f.temp);
    f.named = false;
    set_live(f, false);
    hold_signals(false);
}

void close_file(replacement &f)
{
    if (f.fd >= 0)
        close(f.fd);
    f.fd = -1;
}

const char *own_name(const struct stat &st)
{
    for (size_t i = 0; i < own_count; i++)
        if (own[i].dev == st.st_dev && own[i].ino == st.st_ino)
            return own[i].name;
    return nullptr;
}
