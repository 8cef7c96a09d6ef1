// tarvel: turn the HTML pages of a folder (-a: every file of its tree) into one C++
// header of PROGMEM arrays.
//
// The unit reads from the bottom up: main, in the last section, calls into
// the sections above it, and each section uses only those above it. A
// global is written only by the functions of the section that owns it.
//
//   Section            What it does                                     Owns
//   Limits and names   every fixed name, size and text
//   Report             prints every message; gives the exit status      status
//   Files              opens, reads and writes files safely; tells      root
//                      whether a file lies in the folder's tree (-a)
//   Replacement files  new files that take an old one's place only      live, fatal_signals,
//                      once complete; on a signal, removes the          own, own_count
//                      unfinished; knows the run's own files
//   Header             gathers the header's text into its new file,     out, header,
//                      held against the old header; flushes a large     flusher
//                      one as it grows, in a thread of its own; the
//                      one verdict on it at the end
//   Twins              ends each block: its length and ETag (-a), its   twin
//                      gzip twin (-z); counts what the files cost
//   Record             makes array names; takes each once in a run;     seen, record
//                      records every block written
//   List               ends the header with the list of its blocks
//   Page reading       reads a page a block at a time                   in
//   Delimiter          the masks that the searches for closing          widest, taken,
//                      sequences and tags go by; picks the delimiter    taken_top
//                      that the page never closes
//   Lines              the line rules and preformatted text of a block
//   Pages              one file into its block: convert(), tarvel();
//                      refuses a file that is one of the run's own files,
//                      and (-a) one that links out of the tree
//   Listing            lists the folder's pages (-a: the tree's files)
//                      into list.txt
//   Run                the command line and the loop over the pages; main
//
// Test seams: TARVEL_BLOCK and TARVEL_STRETCH, which the build sets for
// tarvel and its tests alike (the fuzz target makes the block small);
// TARVEL_READ_PAGE, a function that reads pages in place of read_full (Page
// reading); TARVEL_NO_MAIN, which leaves main out (Run);
// forget_identifiers(), for a test that converts pages as runs of their own
// (Record); and `widest`, which the fuzz target narrows to take each width
// of compares in turn (Delimiter).

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fts.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <initializer_list>
#include <iterator>
#include <libdeflate.h>
#include <pthread.h>
#include <spawn.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// ---- Limits and names --------------------------------------------------

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif
// Set by the build (CMakeLists.txt), which gives the tests the same values,
// so that they hit the edges they exist to hit.
#if !defined(TARVEL_BLOCK) || !defined(TARVEL_STRETCH)
#error "the build sets TARVEL_BLOCK and TARVEL_STRETCH; see CMakeLists.txt"
#endif

constexpr char list_name[] = "list.txt";
constexpr char header_name[] = "../htmls.h";

// Bytes of a page read at a time: the whole of most pages. A larger page is
// read twice, to pick its delimiter first.
constexpr size_t block_size = TARVEL_BLOCK;
// Bytes that the searches for closing sequences and tags skip at a time,
// where a few vector compares show that they cannot hold one.
constexpr size_t stretch = TARVEL_STRETCH;
// Bytes of the header gathered before a write: most lines are short.
constexpr size_t header_buffer = 1 << 15;
// Bytes of the old header read at a time, to hold the new one against it
// or to copy what they share: one read for each write of the buffer.
constexpr size_t old_header_chunk = header_buffer;
// Bytes of a new header written before they are flushed to disk while the
// run goes on, so that the flush at the end finds most of them there.
constexpr off_t writeback_chunk = 8 << 20;
// Stack of the thread that flushes them, which only waits and flushes.
constexpr size_t flusher_stack = 1 << 16;

// Far more than the longest file name Linux allows (255 bytes); with -a,
// the longest path below the folder that the run takes.
constexpr size_t name_max = 4096;
// Numbers that tell apart the files of one identifier (-a): "_2" and on.
constexpr size_t number_max = sizeof("_4294967295") - 1;
constexpr unsigned numbers_tried = 1000000;
// An identifier: a _ in front of a leading digit, the name, and a number.
constexpr size_t id_max = 1 + name_max + number_max;
// C++ allows a raw string delimiter of at most 16 characters.
constexpr size_t delimiter_max = 16;
// Delimiters that one pass over a page tells apart: a bit each.
constexpr long long delimiter_window = 1 << 20;
// The longest of the names of the tags of preformatted text ("textarea").
constexpr size_t tag_max = 8;
// Links followed from ../htmls.h to the header itself, as the kernel allows.
constexpr int links_max = 40;

// Bytes of the bit set that answers most lookups of an identifier; a hit
// is confirmed against the journal. With 8 million bits, under 1 lookup in
// 20,000 is a false hit at 100,000 pages.
constexpr size_t seen_bytes = 1 << 20;
// Bits of the bit set that an identifier sets.
constexpr int seen_hashes = 3;
// Bytes of the record's lines gathered before a write, and read back at a
// time; a line must fit: an identifier, a space, a flag, a space, a name and
// a line feed.
constexpr size_t record_buffer = 1 << 14;
static_assert(record_buffer > id_max + 3 + name_max + 1, "a line fits the record's buffer");

// The most text of one page that -z compresses: a page is compressed whole.
constexpr size_t twin_max = 1 << 24;
// Room for its gzip twin: the text, a byte more in 1,024 and 1,024 bytes,
// above what libdeflate may need for twin_max bytes (16,794,023 in 1.14).
constexpr size_t twin_gz_max = twin_max + twin_max / 1024 + 1024;
// libdeflate's best: slow, but a header is written once and served often.
constexpr int gzip_level = 12;
// Bytes of a twin written on one line of the header.
constexpr size_t twin_line = 32;
// An entry of the list of pages or files: the name, as escapes of up to 4
// characters a byte, the identifier five times, a type, and under 100
// bytes of text around them.
constexpr size_t type_max = 40;
constexpr size_t entry_max = 4 * name_max + 5 * id_max + type_max + 100;

// The names that a block's identifier ID gives the header with -a and -z:
// ID itself, then ID and these suffixes.
static const char *const suffixes[] = {"_len", "_gz", "_gz_len", "_etag"};

// The types of the files of a web UI, by their extension, in any case.
static const struct {
    const char *extension, *type;
} types[] = {
    {"html", "text/html"},        {"htm", "text/html"},
    {"css", "text/css"},          {"js", "text/javascript"},
    {"mjs", "text/javascript"},   {"json", "application/json"},
    {"map", "application/json"},  {"webmanifest", "application/manifest+json"},
    {"svg", "image/svg+xml"},     {"png", "image/png"},
    {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},         {"webp", "image/webp"},
    {"avif", "image/avif"},       {"bmp", "image/bmp"},
    {"ico", "image/x-icon"},      {"woff", "font/woff"},
    {"woff2", "font/woff2"},      {"ttf", "font/ttf"},
    {"otf", "font/otf"},          {"eot", "application/vnd.ms-fontobject"},
    {"wasm", "application/wasm"}, {"txt", "text/plain"},
    {"csv", "text/csv"},          {"md", "text/markdown"},
    {"xml", "application/xml"},   {"pdf", "application/pdf"},
    {"zip", "application/zip"},   {"gz", "application/gzip"},
    {"mp3", "audio/mpeg"},        {"wav", "audio/wav"},
    {"ogg", "audio/ogg"},         {"mp4", "video/mp4"},
    {"webm", "video/webm"},
};
static const char unknown_type[] = "application/octet-stream";

// Names that no array may take, since they are C++'s own: keywords, and
// the alternative tokens (and, or ...), each between spaces.
static const char keywords[] =
    " alignas alignof and and_eq asm auto bitand bitor bool break case catch char "
    "char8_t char16_t char32_t class compl concept const consteval constexpr "
    "constinit const_cast continue co_await co_return co_yield decltype default "
    "delete do double dynamic_cast else enum explicit export extern false float for "
    "friend goto if inline int long mutable namespace new noexcept not not_eq "
    "nullptr operator or or_eq private protected public register reinterpret_cast "
    "requires return short signed sizeof static static_assert static_cast struct "
    "switch template this thread_local throw true try typedef typeid typename union "
    "unsigned using virtual void volatile wchar_t while xor xor_eq ";
// The longest of them ("reinterpret_cast").
constexpr size_t keyword_max = 16;

static const char usage[] =
    "usage: tarvel [-a | --assets] [-z | --gzip] [-k | --keep-files]\n"
    "       tarvel -h | --help | --version\n"
    "Run in a folder of HTML pages: lists its *.html pages in list.txt and puts them\n"
    "as PROGMEM raw strings (-z: and gzip twins) in ../htmls.h, whole or not at all;\n"
    "-a: every file of the folder and its subfolders, with its type, in one list;\n"
    "-a -z: each file or its gzip twin, whichever is smaller (-k: both).\n";

static const char banner[] = "--------------------------------------\n"
                             "Convert all .html files in this folder\n"
                             "to C++ raw strings and save them in the\n"
                             "parent folder as htmls.h\n"
                             "-----------------------------------------\n";

// ---- Report ------------------------------------------------------------

// What a line of the report says of the run: the exit status it gives.
enum outcome { fine = 0, failure = 1, misuse = 2 };

static int status; // the worst outcome reported so far

// Prints a line of the report: on standard output, but for a usage error,
// which goes to standard error. The run goes on; its exit status is the
// worst outcome reported.
__attribute__((format(printf, 2, 3))) static void report(outcome said, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vfprintf(said == misuse ? stderr : stdout, format, args);
    va_end(args);
    status = std::max(status, static_cast<int>(said));
}

void file_error(const char *path)
{
    report(failure, "Can't open file %s\n", path);
}

// The exit status: a report that could not be written fails the run too.
static int exit_status()
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("Can't write standard output\n", stderr);
        return status ? status : failure;
    }
    return status;
}

// ---- Files -------------------------------------------------------------

// Opens a regular file for reading; returns its descriptor, or -1. A folder
// or a device is no page, and opening a FIFO the ordinary way would block
// the run until a writer came.
static int open_regular(const char *path, struct stat *st)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && (fstat(fd, st) != 0 || !S_ISREG(st->st_mode))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Opens a file for writing without changing it. Only a regular file that
// may be written qualifies: a read-only one is refused even for root, and
// a FIFO or a device could block the run or swallow what it is given.
static int open_writable(const char *path, int flags)
{
    int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags, 0666);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & 0222))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// May the file at path be replaced by a file of ours? A link is replaced,
// never followed; anything else must be a file we may write.
static bool may_replace(const char *path)
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

// Reads up to n bytes, however many reads that takes; returns the bytes
// read (fewer only at the end of the file), or -1 when reading failed.
static long read_full(int fd, char *p, size_t n)
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

// Writes n bytes, however many writes that takes; false when writing failed.
static bool write_full(int fd, const char *p, size_t n)
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

// The length of the folder part of path, its last / included.
static int folder_len(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? static_cast<int>(slash - path + 1) : 0;
}

// The folder that path lies in, for open.
static void folder_of(const char *path, char (&dir)[PATH_MAX])
{
    int len = folder_len(path);
    snprintf(dir, sizeof(dir), "%.*s", len ? len : 1, len ? path : ".");
}

// Flushes path's folder to disk, so that a renamed file keeps its name over
// a power loss. A file system that cannot flush a folder does not need to.
static bool sync_folder(const char *path)
{
    char dir[PATH_MAX];
    folder_of(path, dir);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = fd >= 0 && (fsync(fd) == 0 || errno == EINVAL);
    if (fd >= 0)
        close(fd);
    return ok;
}

// With -a, the real path of the folder that the run converts: the root of
// the tree whose files it takes; "?" where that path is too long to be had,
// which no absolute path starts with. Empty otherwise.
static char root[PATH_MAX];

static bool find_root()
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

// Why the file `name`, open as `opened`, is no file of the tree, or null
// (and always without -a): the tree holds the files below the root whose
// names start with no dot. The file where the name leads must be the one
// that was opened, so a link that changes meanwhile is refused.
static const char *outside_tree(const char *name, const struct stat &opened)
{
    if (!root[0])
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

// Is path a link to a folder?
static bool links_to_folder(const char *path)
{
    struct stat link, target;
    return lstat(path, &link) == 0 && S_ISLNK(link.st_mode) && stat(path, &target) == 0 &&
           S_ISDIR(target.st_mode);
}

// ---- Replacement files -------------------------------------------------

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

// Counts the regular file open at fd among the run's own, under name.
static void add_own(int fd, const char *name)
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

// Every signal that would end the run, but for those of a fault in the
// program itself; a signal the caller ignored stays ignored (nohup, a
// background job of a script). A file too large for the caller's limit
// fails its write instead of killing the run, which then reports it; so
// does a report whose reader went away (tarvel | head), which costs the
// report, not the header.
static void catch_signals()
{
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
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

// Starts the live file that will replace path, in path's folder, with the
// permissions of `old` (and, if the run may give it away, its owner), or
// those of any new file where there is no old one. False, with nothing
// started, when the folder takes no new file.
static bool start_file(replacement &f, const char *path, const struct stat *old)
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

// Puts the complete file in place of whatever stands at path, a link
// included, which is replaced, never followed. Either way the file is no
// longer live.
static bool put_in_place(replacement &f, const char *path)
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

// Gives up a file that did not get its place: it is no longer live.
static void drop_file(replacement &f)
{
    hold_signals(true);
    if (f.named)
        unlink(f.temp);
    f.named = false;
    set_live(f, false);
    hold_signals(false);
}

static void close_file(replacement &f)
{
    if (f.fd >= 0)
        close(f.fd);
    f.fd = -1;
}

// The name of the run's own file that st is, or null.
static const char *own_name(const struct stat &st)
{
    for (size_t i = 0; i < own_count; i++)
        if (own[i].dev == st.st_dev && own[i].ino == st.st_ino)
            return own[i].name;
    return nullptr;
}

// ---- Header ------------------------------------------------------------

// Everything written goes through `out`, so that the header is written in
// large blocks, into its replacement file, which takes the old header's
// place only once complete: a run that fails or is interrupted leaves the
// old header as it was. Most runs give the old header's bytes again, so
// the new header is held against the old one as it comes, and its file
// gets bytes only from the first that differ:
//
//   open_header --> comparing: the new file is empty; the first `matched`
//        |          bytes of the new header are the old one's
//        |--a difference, or the old one ends--> the old one's first
//        |          `matched` bytes are copied into the new file --> writing
//        |--end_header: the old one ends there too--> unchanged: the old
//                   header stays, and the new file goes
//   open_header --> writing, where there is no old header to read
static char out[header_buffer];
static struct {
    replacement file;      // the new header
    size_t len;            // bytes waiting in `out`
    bool short_of_text;    // a write failed, or text was lost: the new header is not whole
    bool is_a_page;        // a page is the old header, which must stay as it is
    bool exists;           // there is an old header, `old`
    struct stat old;       // its file, links followed
    char path[PATH_MAX];   // the file that ../htmls.h names, links followed
    int was;               // comparing: the old header, open, read up to `matched`; else -1
    off_t matched;         // comparing: the bytes of the new header so far, all the old one's
    struct timespec ctime; // comparing: the old header's change time when it was opened
    off_t written;         // writing: the bytes in the new file
    off_t on_the_way;      // ... of which the flusher has been asked to flush these
} header = {{-1, 0, ""}, 0, false, false, false, {}, "", -1, 0, {}, 0, 0};

// A disk flush takes about as long again as the writing of what it
// flushes. So a header of more than writeback_chunk bytes is flushed as it
// grows, by a thread of its own, while the run converts on, and the flush
// at the end waits for little. Where the thread cannot be started, that
// flush takes it all, as it does a smaller header.
//
//   not started --writeback_chunk written--> waiting <--asked--> flushing
//   waiting or flushing --stop_flusher--> ended, joined
//
// The run writes `asked` and `ending`, the thread `failed`; under `lock`.
static struct {
    pthread_mutex_t lock;
    pthread_cond_t wake;
    pthread_t thread;
    bool tried;   // the run tried to start the thread
    bool running; // ... and did; not yet joined
    off_t asked;  // bytes of the new file to be flushed
    bool ending;  // the flush at the end takes the rest: the thread ends
    bool failed;  // a flush failed: the header is not whole
} flusher = {
    PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, {}, false, false, 0, false, false};

// The thread: flushes the new file when asked to, taking in one flush all
// that was asked meanwhile.
static void *flush_header(void *)
{
    off_t flushed = 0;
    pthread_mutex_lock(&flusher.lock);
    for (;;) {
        while (!flusher.ending && flusher.asked == flushed)
            pthread_cond_wait(&flusher.wake, &flusher.lock);
        if (flusher.ending)
            break;
        flushed = flusher.asked;
        pthread_mutex_unlock(&flusher.lock);
        // The file's first error goes to this flush, not to the last one.
        bool ok = fdatasync(header.file.fd) == 0;
        pthread_mutex_lock(&flusher.lock);
        flusher.failed |= !ok;
    }
    pthread_mutex_unlock(&flusher.lock);
    return nullptr;
}

// Starts the thread with every signal held, so that the handler runs only
// in the run's own thread, which holds signals around its live files.
static void start_flusher()
{
    flusher.tried = true;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return;
    pthread_attr_setstacksize(&attr, flusher_stack);
    sigset_t all, was;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &was);
    flusher.running = pthread_create(&flusher.thread, &attr, flush_header, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &was, nullptr);
    pthread_attr_destroy(&attr);
}

// Asks for the first n bytes of the new file to be flushed.
static void ask_flush(off_t n)
{
    if (!flusher.tried)
        start_flusher();
    if (!flusher.running)
        return;
    pthread_mutex_lock(&flusher.lock);
    flusher.asked = n;
    pthread_cond_signal(&flusher.wake);
    pthread_mutex_unlock(&flusher.lock);
}

// Ends the thread, before the run flushes the new file itself or gives it
// up; a flush of the thread's that failed leaves the header short.
static void stop_flusher()
{
    if (!flusher.running)
        return;
    pthread_mutex_lock(&flusher.lock);
    flusher.ending = true;
    pthread_cond_signal(&flusher.wake);
    pthread_mutex_unlock(&flusher.lock);
    pthread_join(flusher.thread, nullptr);
    flusher.running = false;
    if (flusher.failed)
        header.short_of_text = true;
}

// Is there any point in writing on? A header short of text or that may not
// replace the old one is not put in place.
static bool header_may_be_whole()
{
    return !header.short_of_text && !header.is_a_page;
}

// Is the old header, open at `was`, still the file it was when opened, as
// it was then? Any write to it since would have moved its change time.
static bool old_header_holds()
{
    struct stat now;
    return fstat(header.was, &now) == 0 && now.st_ctim.tv_sec == header.ctime.tv_sec &&
           now.st_ctim.tv_nsec == header.ctime.tv_nsec;
}

// Do the next n bytes of the old header equal those at p? Reads them.
static bool old_header_goes_on(const char *p, size_t n)
{
    char was[old_header_chunk];
    for (size_t k; n > 0; p += k, n -= k) {
        k = std::min(n, sizeof(was));
        if (read_full(header.was, was, k) != static_cast<long>(k) || memcmp(was, p, k) != 0)
            return false;
    }
    return true;
}

// Copies the old header's first `matched` bytes, which the new header
// shares, into the new file: inside the kernel where it can.
static bool copy_matched()
{
    bool in_kernel = true;
    for (off_t at = 0; at < header.matched;) {
        size_t n = header.matched - at;
        ssize_t got;
        if (in_kernel) {
            got = copy_file_range(header.was, &at, header.file.fd, nullptr, n, 0);
            if (got > 0 || (got < 0 && errno == EINTR))
                continue;
            // A file system or kernel that copies no range: through a buffer.
            if (got == 0 ||
                (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP))
                return false;
            in_kernel = false;
        }
        char buf[old_header_chunk];
        got = pread(header.was, buf, std::min(n, sizeof(buf)), at);
        if (got <= 0 || !write_full(header.file.fd, buf, got))
            return false;
        at += got;
    }
    return true;
}

// Stops comparing, the new file given what it shares with the old header.
// False when that could not be had as it was compared.
static bool stop_comparing()
{
    bool ok = copy_matched() && old_header_holds();
    header.written = header.matched;
    close(header.was);
    header.was = -1;
    return ok;
}

// Puts n bytes at p into the header: compared with the old one while they
// match it, else written.
static void put_out(const char *p, size_t n)
{
    if (!header_may_be_whole())
        return;
    if (header.was >= 0) {
        if (old_header_goes_on(p, n)) {
            header.matched += n;
            return;
        }
        if (!stop_comparing()) {
            header.short_of_text = true;
            return;
        }
    }
    if (!write_full(header.file.fd, p, n)) {
        header.short_of_text = true;
        return;
    }
    header.written += n;
    if (header.written - header.on_the_way >= writeback_chunk) {
        ask_flush(header.written);
        header.on_the_way = header.written;
    }
}

// Writes what waits in `out` to the header.
static void flush_out()
{
    put_out(out, header.len);
    header.len = 0;
}

// Appends text that `out` has no room for: after what waits there, or,
// larger than `out`, from where it stands.
static void put_past_out(const char *p, size_t n)
{
    flush_out();
    if (n > sizeof(out)) {
        put_out(p, n);
        return;
    }
    memcpy(out, p, n);
    header.len = n;
}

// Appends text to the header. Most lines are short: gathering them in `out`
// makes one write of many, and this, small enough to be inlined, costs a
// line little.
static void put(const char *p, size_t n)
{
    if (header.len + n > sizeof(out))
        return put_past_out(p, n);
    memcpy(out + header.len, p, n);
    header.len += n;
}

static void put_string(const char *s)
{
    put(s, strlen(s));
}

// Text that should have gone into the header is lost: it is not whole.
static void text_lost()
{
    header.short_of_text = true;
}

// Finds the file that ../htmls.h names, following links, so that a link
// stays a link and the file it points to is replaced. False when a link
// cannot be followed; a header that does not exist yet is fine.
static bool find_header()
{
    strcpy(header.path, header_name);
    for (int hops = 0; hops < links_max; hops++) {
        if (lstat(header.path, &header.old) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(header.old.st_mode)) {
            header.exists = true;
            return true;
        }
        char target[PATH_MAX];
        ssize_t n = readlink(header.path, target, sizeof(target) - 1);
        if (n <= 0)
            return false;
        target[n] = '\0';
        // A relative target is relative to the link's own folder.
        int dir = target[0] == '/' ? 0 : folder_len(header.path);
        char path[PATH_MAX];
        if (snprintf(path, sizeof(path), "%.*s%s", dir, header.path, target) >=
            static_cast<int>(sizeof(path)))
            return false;
        strcpy(header.path, path);
    }
    return false;
}

// Starts the new header beside the file it replaces, with that file's
// permissions (a new header gets 0666 less the umask, as any new file),
// comparing it with the old one where that can be read. False when there
// is no header to be written: a folder, a FIFO, a device or a read-only
// file stands in its place, or its folder cannot be written.
static bool open_header()
{
    if (!find_header() || !may_replace(header.path) ||
        !start_file(header.file, header.path, header.exists ? &header.old : nullptr))
        return false;
    struct stat st;
    header.was = header.exists ? open_regular(header.path, &st) : -1;
    if (header.was < 0)
        return true;
    header.ctime = st.st_ctim;
    if (st.st_dev != header.old.st_dev || st.st_ino != header.old.st_ino) {
        close(header.was); // another file took its name meanwhile: write the header whole
        header.was = -1;
    }
    return true;
}

// Is the page with this file the old header? Then the old header is kept:
// replacing it would replace the page.
static bool is_old_header(const struct stat &page)
{
    bool is = header.exists && page.st_dev == header.old.st_dev && page.st_ino == header.old.st_ino;
    header.is_a_page |= is;
    return is;
}

// Is the new header, compared up to its end, the old one still standing at
// its path, unchanged? Then the old one stays. If not, the new file gets
// what it shares with the old one, and false; it is not whole if that fails.
static bool is_old_header_still()
{
    if (header.was < 0)
        return false;
    struct stat now;
    char more;
    if (read_full(header.was, &more, 1) == 0 && old_header_holds() &&
        lstat(header.path, &now) == 0 && now.st_dev == header.old.st_dev &&
        now.st_ino == header.old.st_ino)
        return true;
    if (!stop_comparing())
        header.short_of_text = true;
    return false;
}

// How many names the old header has now: a rename gives only one of them
// the new header.
static nlink_t header_names()
{
    struct stat now;
    return lstat(header.path, &now) == 0 ? now.st_nlink : 1;
}

// Ends the header, the one verdict on it, which it reports should the
// header fail. When the run listed every page (`listed`) and the new header
// is whole, it takes the old one's place, flushed to disk first and its
// folder after; but when it holds the old one's bytes, and in every other
// case, the old one stays untouched, modification time and all. An old
// header of several names (hard links) is kept too, since all but one of
// them would keep the old header.
static void end_header(bool listed)
{
    flush_out();
    stop_flusher();
    bool same = header_may_be_whole() && listed && is_old_header_still();
    bool ok = header_may_be_whole();
    bool replace = ok && listed && !same;
    nlink_t names = replace && header.exists ? header_names() : 1;
    if (names > 1)
        report(failure,
               "Can't write file %s: it has %lu names (hard links), and all but one would keep "
               "the old header; make the others symbolic links\n",
               header_name, static_cast<unsigned long>(names));
    else if (replace)
        ok = fsync(header.file.fd) == 0 && put_in_place(header.file, header.path) &&
             sync_folder(header.path);
    drop_file(header.file);
    // Flushed already, so closing cannot lose what was written.
    close_file(header.file);
    if (header.was >= 0)
        close(header.was);
    header.was = -1;
    if (!ok)
        report(failure, "Can't write file %s\n", header_name);
}

// ---- Twins -------------------------------------------------------------

// Each block ends in what a firmware needs to serve it. With -z, a gzip
// twin: the block's text as a compiler reads it, with LF line ends,
// compressed into one gzip member. With -a, every block gets its length and
// an ETag, and a twin only where the twin is smaller than the text. With
// -a -z, a firmware serves a file's twin wherever it has one, so the block
// keeps only the smaller of the two (-k: both): its text is held here, its
// array waiting, until the twin shows which is smaller.
//
//   open_array --> held: the text goes to `text` only --end_block-->
//        |           the twin, or (released) the array, written
//        |--the text outgrows `text`: released: the array so far written,
//        |           the rest goes on into it; no twin --end_block--> ...
//   open_array --> written as it comes (-z, -a, -k), gathered for the twin
static struct {
    bool on;                   // -z: gzip twins
    bool sized;                // -a: every block's length and ETag
    bool keep;                 // -k: with -a -z, the file beside its twin
    bool held;                 // the block's array waits for its twin's verdict
    bool too_big;              // the block's text outgrew `text`
    bool first;                // no line of the block's literal written yet
    const char *id, *delim;    // the block's array, and its delimiter (a page's) or null
    size_t len;                // bytes of `text` gathered
    unsigned long served;      // the block's bytes as a compiler reads them (-a)
    unsigned crc;              // their CRC-32 (-a)
    int blocks;                // blocks ended (-a)
    unsigned long long files;  // the bytes of their files on disk (-a)
    unsigned long long stored; // the bytes of the arrays kept, twins included (-a)
    libdeflate_compressor *compressor;
    char text[twin_max];
    unsigned char gz[twin_gz_max];
} twin;

// Turns the twins (gzip) and the lengths and ETags (sized) on; with both,
// a block keeps only the smaller of its text and its twin, unless `keep`.
// Should the compressor not be had, every twin fails.
static void start_twins(bool gzip, bool sized, bool keep)
{
    twin.on = gzip;
    twin.sized = sized;
    twin.keep = keep;
    if (gzip)
        twin.compressor = libdeflate_alloc_compressor(gzip_level);
}

static void end_twins()
{
    if (twin.compressor)
        libdeflate_free_compressor(twin.compressor);
    twin.compressor = nullptr;
}

// Gathers text of the block for its twin, its length and its ETag.
static void gather_text(const char *p, size_t n)
{
    if (twin.sized) {
        twin.served += n;
        twin.crc = libdeflate_crc32(twin.crc, p, n);
    }
    if (!twin.on || twin.too_big)
        return;
    twin.too_big = n > sizeof(twin.text) - twin.len;
    if (!twin.too_big) {
        memcpy(twin.text + twin.len, p, n);
        twin.len += n;
    }
}

// A run without -z or -a gathers nothing: it costs a test a line.
static inline void gather(const char *p, size_t n)
{
    if (twin.on || twin.sized)
        gather_text(p, n);
}

// Writes a byte as it stands in a string literal, at to; returns how many
// characters that takes. A printable byte stands as itself; any other, and
// " \ and ? (which may start a trigraph), becomes a three-digit octal
// escape, which no digit after it can lengthen.
static size_t escape(unsigned char c, char *to)
{
    if (c >= ' ' && c <= '~' && c != '"' && c != '\\' && c != '?') {
        to[0] = static_cast<char>(c);
        return 1;
    }
    const char octal[] = {'\\', static_cast<char>('0' + (c >> 6)),
                          static_cast<char>('0' + (c >> 3 & 7)), static_cast<char>('0' + (c & 7))};
    memcpy(to, octal, sizeof(octal));
    return sizeof(octal);
}

// Writes bytes as a string literal of twin_line bytes a line, a line end
// before every line but the array's first (`first`, which it clears), so
// that the caller ends the last line. Escapes compile far faster than a
// list of numbers.
static void put_literal(const unsigned char *p, size_t n, bool &first)
{
    // A line end, a quote, up to 4 characters a byte, a quote, a zero.
    char line[2 + 1 + twin_line * 4 + 1 + 1];
    for (size_t at = 0; at < n; at += twin_line) {
        size_t len = 0;
        if (!first)
            line[len++] = '\r', line[len++] = '\n';
        first = false;
        line[len++] = '"';
        for (size_t i = at; i < std::min(n, at + twin_line); i++)
            len += escape(p[i], line + len);
        line[len++] = '"';
        put(line, len);
    }
}

static void put_strings(std::initializer_list<const char *> strings)
{
    for (const char *s : strings)
        put_string(s);
}

// Starts the array `id` of a block: a page's raw string of the delimiter
// `delim`, or, where that is null, a literal of a file's bytes. With -a -z
// (not -k) it is held, else its first line written.
static void put_array_start()
{
    const char *delim = twin.delim;
    put_strings({"const char ", twin.id, delim ? "[] PROGMEM = R\"" : "[] PROGMEM =\r\n",
                 delim ? delim : "", delim ? "(" : ""});
}

static void open_array(const char *id, const char *delim)
{
    twin.id = id, twin.delim = delim, twin.first = true;
    twin.held = twin.on && twin.sized && !twin.keep;
    if (!twin.held)
        put_array_start();
}

// Appends the text of a file's literal to its array.
static void put_bytes_text(const char *p, size_t n)
{
    put_literal(reinterpret_cast<const unsigned char *>(p), n, twin.first);
}

// Writes the held array as far as it is held, and goes on writing it.
static void release()
{
    twin.held = false;
    put_array_start();
    if (!twin.delim)
        return put_bytes_text(twin.text, twin.len);
    for (const char *p = twin.text, *end = p + twin.len, *lf; p < end; p = lf + 1) {
        lf = static_cast<const char *>(memchr(p, '\n', end - p));
        put(p, (lf ? lf : end) - p);
        if (!lf)
            break;
        put("\r\n", 2); // held as the compiler reads it, written as the header's lines end
    }
}

// Holds text of a held array; false when the text outgrows `text`: the
// array is released, with no twin, and the caller writes the text on.
static bool hold(const char *p, size_t n)
{
    if (n <= sizeof(twin.text) - twin.len) {
        memcpy(twin.text + twin.len, p, n);
        twin.len += n;
        twin.served += n;
        twin.crc = libdeflate_crc32(twin.crc, p, n);
        return true;
    }
    release();
    twin.too_big = true;
    return false;
}

// Appends text of the page's block, which its twin holds too.
static inline void put_text(const char *p, size_t n)
{
    if (twin.held && hold(p, n))
        return;
    put(p, n);
    gather(p, n);
}

// Ends a line of the block. The header's lines end in CR LF, which a
// compiler reads as LF.
static void put_line_end()
{
    if (twin.held && hold("\n", 1))
        return;
    put("\r\n", 2);
    gather("\n", 1);
}

// Appends a file's bytes to its array.
static void put_file_bytes(const char *p, size_t n)
{
    if (twin.held && hold(p, n))
        return;
    put_bytes_text(p, n);
    gather(p, n);
}

// Ends the array, unless it is held: its text is all there.
static void close_array()
{
    if (twin.held)
        return;
    if (twin.delim)
        put_strings({")", twin.delim, "\";\r\n"});
    else
        put_string(twin.first ? "\"\";\r\n" : ";\r\n");
}

// Ends the block `id` of the file `name`, `bytes` long on disk: its array
// where it is kept, and with -a its length id_len; with -z, its gzip twin
// id_gz and the twin's length id_gz_len (neither length counts a literal's
// terminating zero); with either, id_etag, a strong ETag, the quoted
// CRC-32 of the twin's bytes, or of the block's where there is no twin.
// Returns what the block kept: 'g' the array and its twin, 'z' the twin
// alone, '-' the array alone.
static char end_block(const char *name, const char *id, unsigned long long bytes)
{
    size_t n = 0;
    if (twin.on && !twin.too_big && twin.compressor)
        n = libdeflate_gzip_compress(twin.compressor, twin.text, twin.len, twin.gz,
                                     sizeof(twin.gz));
    if (twin.on && n == 0 && twin.too_big)
        report(failure, "Can't compress file %s: over %zu bytes of text\n", name,
               sizeof(twin.text));
    else if (twin.on && n == 0)
        report(failure, "Can't compress file %s\n", name);
    bool made = n > 0 && (!twin.sized || n < twin.served);
    bool raw = !(twin.held && made);
    if (twin.held && !made) {
        release();
        close_array();
    }
    char number[24];
    if (twin.sized && raw) {
        snprintf(number, sizeof(number), "%lu", twin.served);
        put_strings({"const unsigned long ", id, "_len = ", number, ";\r\n"});
    }
    if (made) {
        put_strings({"const unsigned char ", id, "_gz[] PROGMEM =\r\n"});
        bool first = true;
        put_literal(twin.gz, n, first);
        snprintf(number, sizeof(number), "%zu", n);
        put_strings({";\r\n", "const unsigned long ", id, "_gz_len = ", number, ";\r\n"});
    }
    if (made || twin.sized) {
        char etag[32];
        snprintf(etag, sizeof(etag), "_etag[] = \"\\\"%08x\\\"\";\r\n",
                 made ? static_cast<unsigned>(libdeflate_crc32(0, twin.gz, n)) : twin.crc);
        put_strings({"const char ", id, etag});
    }
    twin.blocks++;
    twin.files += bytes;
    twin.stored += (raw ? twin.served : 0) + (made ? n : 0);
    twin.len = twin.served = twin.crc = 0;
    twin.too_big = twin.held = false;
    return !made ? '-' : raw ? 'g' : 'z';
}

// A number with a comma between each three digits: 61,943.
static const char *grouped(unsigned long long v, char (&s)[32])
{
    char digits[24];
    int n = snprintf(digits, sizeof(digits), "%llu", v);
    size_t len = 0;
    for (int i = 0; i < n; i++) {
        if (i > 0 && (n - i) % 3 == 0)
            s[len++] = ',';
        s[len++] = digits[i];
    }
    s[len] = '\0';
    return s;
}

// Says, with -a, what the files in the header cost: their bytes on disk,
// and the bytes of the arrays that hold them, twins included.
static void report_cost()
{
    char bytes[32], stored[32];
    report(fine, "%d file%s: %s bytes, %s in flash%s\n", twin.blocks, twin.blocks == 1 ? "" : "s",
           grouped(twin.files, bytes), grouped(twin.stored, stored), twin.on ? " with -z" : "");
}

// ---- Record ------------------------------------------------------------

// Makes the array name from a file's name: every byte that is not an ASCII
// letter, digit or _ becomes _, as xxd -i does, and a leading digit gets
// one _ in front (a-b.html gives a_b_html, img/logo.png img_logo_png). Old
// compilers take no other byte in a name.
static void make_identifier(char *id, const char *name, size_t len)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto word = [&](char c) {
        return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    size_t n = 0;
    if (len > 0 && digit(name[0]))
        id[n++] = '_';
    for (size_t i = 0; i < len; i++)
        id[n++] = word(name[i]) ? name[i] : '_';
    id[n] = '\0';
}

// Is id one of C++'s own names? Only with -a can it be: a page's ends in
// _html.
static bool is_keyword(const char *id)
{
    char word[1 + keyword_max + 2];
    return strlen(id) <= keyword_max && snprintf(word, sizeof(word), " %s ", id) > 0 &&
           strstr(keywords, word);
}

// The record of the blocks written so far, one line each: the identifier,
// what the block kept (g: its array and its gzip twin, z: the twin alone,
// -: the array alone) and the file's name:
//
//   a_html g a.html
//
// It alone tells which identifiers are taken, and the list of blocks that
// ends the header is made from it. It is a file in memory, so the
// program's memory stays the same for any number of files; a bit set
// answers most lookups of an identifier at once, and a hit is confirmed
// against the record, so the answer is exact.
static unsigned char seen[seen_bytes];
static struct {
    int fd;
    char buf[record_buffer]; // lines not yet written to fd
    size_t len;
    bool lost; // a line could not be written or read back
} record = {-1, "", 0, false};

// Are the bits of an identifier all set (and, with `set`, set them)? Its
// bits come from one hash (FNV-1a), split in two halves.
static bool seen_bits(const char *id, bool set)
{
    unsigned long long h = 14695981039346656037ULL;
    for (const char *p = id; *p; p++)
        h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ULL;
    bool all = true;
    for (int i = 0; i < seen_hashes; i++) {
        size_t bit = (h + i * (h >> 32 | 1)) % (sizeof(seen) * 8);
        all &= (seen[bit / 8] >> bit % 8) & 1;
        if (set)
            seen[bit / 8] |= 1 << bit % 8;
    }
    return all;
}

// Writes the waiting lines to the record; false when it has lost one.
static bool flush_record()
{
    if (record.fd < 0 && !record.lost)
        record.fd = memfd_create("tarvel-record", MFD_CLOEXEC);
    record.lost |= record.fd < 0 || !write_full(record.fd, record.buf, record.len);
    record.len = 0;
    return !record.lost;
}

// Calls found(line, len) for the lines of the record in turn, each without
// its line feed, until a call returns true; returns whether one did. Call
// flush_record first.
template <typename F> static bool each_line(F found)
{
    char chunk[record_buffer];
    size_t have = 0;
    for (off_t at = 0; record.fd >= 0;) {
        ssize_t got = pread(record.fd, chunk + have, sizeof(chunk) - have, at);
        record.lost |= got < 0;
        if (got <= 0)
            break;
        at += got;
        have += got;
        const char *p = chunk, *end = chunk + have, *lf;
        for (; (lf = static_cast<const char *>(memchr(p, '\n', end - p))); p = lf + 1)
            if (found(p, static_cast<size_t>(lf - p)))
                return true;
        have = end - p;
        memmove(chunk, p, have);
    }
    return false;
}

// Calls is(name) for each name that would clash with the block id, until
// a call returns true; returns whether one did. A block declares its id
// and id with each of the suffixes, so id clashes with a block R when it
// is R, or R and a suffix, or R less a suffix; but where every identifier
// ends in _html (without -a, `suffixed` false), only when it is R.
template <typename F> static bool each_rival(const char *id, bool suffixed, F is)
{
    char name[id_max + sizeof("_gz_len")];
    size_t len = strlen(id);
    bool same = is(id);
    if (same || !suffixed)
        return same;
    memcpy(name, id, len);
    for (const char *s : suffixes) {
        size_t n = strlen(s);
        memcpy(name + len, s, n + 1);
        if (is(name))
            return true;
        if (len > n && !memcmp(id + len - n, s, n)) {
            name[len - n] = '\0';
            bool rival = is(name);
            memcpy(name + len - n, s, n); // id, as it was
            if (rival)
                return true;
        }
    }
    return false;
}

// Takes the identifier for a block; false when a block earlier in the run
// has it, or one that it would clash with (`suffixed`). Should the record
// be lost, a hit of the bit set counts: a file too many refused, never two
// blocks of one name.
static bool claim(const char *id, bool suffixed)
{
    auto in_bit_set = [](const char *name) { return seen_bits(name, false); };
    bool hit = each_rival(id, suffixed, in_bit_set);
    if (hit && (!flush_record() || each_line([&](const char *line, size_t) {
            size_t taken = strcspn(line, " ");
            return each_rival(id, suffixed, [&](const char *name) {
                return strlen(name) == taken && !memcmp(line, name, taken);
            });
        })))
        return false;
    seen_bits(id, true);
    return true;
}

// Records the block id of the file name, with what it kept (end_block).
static void record_block(const char *id, char kept, const char *name)
{
    size_t id_len = strlen(id), name_len = strlen(name), len = id_len + 3 + name_len + 1;
    if (record.len + len > sizeof(record.buf))
        flush_record();
    char *p = record.buf + record.len;
    memcpy(p, id, id_len);
    p[id_len] = ' ', p[id_len + 1] = kept, p[id_len + 2] = ' ';
    memcpy(p + id_len + 3, name, name_len);
    p[len - 1] = '\n';
    record.len += len;
}

// Forgets every identifier taken, for a test that converts many pages as
// runs of their own.
void forget_identifiers()
{
    memset(seen, 0, sizeof(seen));
    record.len = 0;
    record.lost = false;
    if (record.fd >= 0 && ftruncate(record.fd, 0) != 0) {
        close(record.fd);
        record.fd = -1;
    }
}

// ---- List --------------------------------------------------------------

// The header ends in the list of its blocks, an X-macro that a firmware
// expands into the table or the handlers it needs. With -z:
//
//   #define tarvel_pages(PAGE) (backslash)
//       PAGE("/a.html", a_html, a_html_gz, a_html_gz_len, a_html_etag) (backslash)
//       PAGE("/b.html", b_html, nullptr, 0, nullptr)
//
// With -a, every file's type, its length and its ETag too:
//
//   #define tarvel_files(FILE) (backslash)
//       FILE("/index.html", "text/html", index_html, index_html_len, (backslash)
//            index_html_gz, index_html_gz_len, index_html_etag) ... (one line)
//       FILE("/", "text/html", index_html, ...) (backslash)
//       FILE("/img/a.png", "image/png", img_a_png, img_a_png_len, nullptr, 0, img_a_png_etag)
//
// Every block has an entry, in header order, made from the record: its URL
// path, "/" and the file's name, and the names of its arrays, nullptr and
// 0 for an array that the block did not keep, its own or its twin (with -z
// alone, the ETag's too). A
// folder's index.html has a second entry at the folder's own path. A
// firmware that uses only some of the arrays links only those.

// The type of the file `name`, by its extension, or null for none known.
static const char *type_of(const char *name)
{
    const char *dot = strrchr(name + folder_len(name), '.');
    for (const auto &t : types)
        if (dot && !strcasecmp(dot + 1, t.extension))
            return t.type;
    return nullptr;
}

// Appends the entry of the block id of the file name, at the path "/" and
// the first len bytes of the name; `kept` is what the block kept
// (end_block).
static void put_entry(const char *id, char kept, const char *name, size_t len)
{
    char e[entry_max];
    size_t n = strlen(strcpy(e, twin.sized ? " \\\r\n    FILE(\"/" : " \\\r\n    PAGE(\"/"));
    for (size_t i = 0; i < len; i++)
        n += escape(static_cast<unsigned char>(name[i]), e + n);
    const char *type = type_of(name);
    n += snprintf(e + n, sizeof(e) - n, twin.sized ? "\", \"%s\", " : "\", ",
                  type ? type : unknown_type);
    n += snprintf(e + n, sizeof(e) - n,
                  kept == 'z'  ? "nullptr, 0, "
                  : twin.sized ? "%s, %s_len, "
                               : "%s, ",
                  id, id);
    n += snprintf(e + n, sizeof(e) - n,
                  kept != '-'  ? "%s_gz, %s_gz_len, %s_etag)"
                  : twin.sized ? "nullptr, 0, %s_etag)"
                               : "nullptr, 0, nullptr)",
                  id, id, id);
    put(e, std::min(n, sizeof(e) - 1));
}

// Appends the list of blocks to the header, with -z or -a. A line of the
// record that was lost would leave the list short of a block, and so the
// header.
static void put_list()
{
    if (!twin.on && !twin.sized)
        return;
    put_string(twin.sized ? "#define tarvel_files(FILE)" : "#define tarvel_pages(PAGE)");
    flush_record();
    each_line([](const char *line, size_t len) {
        char id[id_max], name[name_max];
        int id_len = static_cast<int>(strcspn(line, " "));
        snprintf(id, sizeof(id), "%.*s", id_len, line);
        snprintf(name, sizeof(name), "%.*s", static_cast<int>(len) - id_len - 3, line + id_len + 3);
        char kept = line[id_len + 1];
        put_entry(id, kept, name, strlen(name));
        int folder = folder_len(name);
        if (twin.sized && !strcmp(name + folder, "index.html"))
            put_entry(id, kept, name, folder);
        return false;
    });
    put_string("\r\n");
    if (record.lost)
        text_lost();
}

// ---- Page reading ------------------------------------------------------

static char in[block_size]; // a block of the page being converted

// What the converter knows of the page it converts. A line may run over any
// number of blocks, so this lives from one block to the next.
struct page {
    int fd;
    long first;                     // bytes of the first read: the whole page if below sizeof(in)
    char delim[delimiter_max + 1];  // the raw string's delimiter
    char needle[delimiter_max + 3]; // ) delim ": must not occur in the text
    size_t needle_len;
    // The current line
    bool keep;    // it started inside preformatted text, so it is kept as it stands
    bool leading; // still in the indentation, which is dropped
    bool body;    // holds more than its line end, so it is written
    size_t crs;   // CRs held back, since the last ones may be the line end
    // The preformatted text open at this point of the page
    size_t depth;      // <pre> and <listing> elements open
    size_t raw;        // 1 + the tag_names index of the open <textarea> or <xmp>, or 0
    bool in_tag;       // a < has been read that may start a tag of theirs
    bool end_tag;      // ... followed by /
    char tag[tag_max]; // ... and these letters, in lower case
    size_t tag_len;
};

// A test may read pages its own way: TARVEL_READ_PAGE names a function
// that reads as read_full does.
#ifdef TARVEL_READ_PAGE
long TARVEL_READ_PAGE(int fd, char *p, size_t n);
#else
#define TARVEL_READ_PAGE read_full
#endif

// Reads the next block of the page into `in`, or its first when
// `from_start`, behind the last `kept` of the `have` bytes that `in` held,
// which go to its front. Returns the bytes now in `in` (kept ones
// included), 0 at the end, or -1 when reading failed. Pages are read with
// read(2) straight into `in`: stdio would only copy.
static long read_block(int fd, long have, size_t kept, bool from_start)
{
    if (from_start && lseek(fd, 0, SEEK_SET) != 0)
        return -1;
    memmove(in, in + have - kept, kept);
    long got = TARVEL_READ_PAGE(fd, in + kept, sizeof(in) - kept);
    return got > 0 ? static_cast<long>(kept) + got : got;
}

// ---- Delimiter ---------------------------------------------------------

// The searches for closing sequences and for tags of preformatted text
// look at a stretch at a time: a mask with a bit for each of its bytes
// marks those that may start what they look for, in a few compares of many
// bytes at once, and only those are looked at closer. Each search passes
// the stretches whose masks are empty in one loop. The wider compares of
// AVX-512 or AVX2 are taken where the processor has them, as the run finds
// out when it starts; any other takes the plain loops, which compilers
// vectorize as its instructions allow.
using mask = std::uint64_t;
static_assert(stretch == 64, "a stretch has a bit of a mask for each of its bytes");
// Bytes after a stretch that the masks read: for a closing sequence, the
// byte after its ); for a tag, the 4 after its <: a / and 3 letters.
constexpr size_t close_lookahead = 1, tag_lookahead = 4;

// Do the letters a, b and c (in lower case, if letters) begin a name of
// tag_names: pre, lis, tex or xmp? Three letters tell them from the tags
// that markup is full of: <p, <li, <td, <template. 1 or 0, for a loop
// without a branch.
static int three_letters(char a, char b, char c)
{
    return ((a == 'p') & (b == 'r') & (c == 'e')) | ((a == 'l') & (b == 'i') & (c == 's')) |
           ((a == 't') & (b == 'e') & (c == 'x')) | ((a == 'x') & (b == 'm') & (c == 'p'));
}

// From p on, the first stretch whose mask `m` is not empty, or where fewer
// than a stretch and its lookahead are left before end. Bit i of m: a ) at
// p + i followed by `next` or `other`.
static const char *close_hits_plain(const char *p, const char *end, char next, char other, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + close_lookahead;) {
        for (size_t i = 0; i < stretch; i++)
            m |= static_cast<mask>((p[i] == ')') & ((p[i + 1] == next) | (p[i + 1] == other))) << i;
        p += m ? 0 : stretch;
    }
    return p;
}

// As close_hits_plain, for tags. Bit i: a < at p + i followed by the first
// three letters of a name of tag_names, or by / and them.
static const char *tag_hits_plain(const char *p, const char *end, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + tag_lookahead;) {
        for (size_t i = 0; i < stretch; i++) {
            const char *q = p + i;
            char a = q[1] | 0x20, b = q[2] | 0x20, c = q[3] | 0x20, d = q[4] | 0x20; // lower case
            int hit = three_letters(a, b, c) | ((q[1] == '/') & three_letters(b, c, d));
            m |= static_cast<mask>((q[0] == '<') & hit) << i;
        }
        p += m ? 0 : stretch;
    }
    return p;
}

#if defined(__x86_64__)
#define TARVEL_AVX2 1
__attribute__((target("avx2"))) static __m256i bytes_at(const char *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

__attribute__((target("avx2"))) static __m256i is(__m256i v, char c)
{
    return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
}

__attribute__((target("avx2"))) static mask bits_of(__m256i low, __m256i high)
{
    return static_cast<unsigned>(_mm256_movemask_epi8(low)) |
           static_cast<mask>(static_cast<unsigned>(_mm256_movemask_epi8(high))) << 32;
}

__attribute__((target("avx2"))) static __m256i close_half(const char *q, char next, char other)
{
    __m256i after = bytes_at(q + 1);
    return _mm256_and_si256(is(bytes_at(q), ')'),
                            _mm256_or_si256(is(after, next), is(after, other)));
}

__attribute__((target("avx2"))) static const char *close_hits_avx2(const char *p, const char *end,
                                                                   char next, char other, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + close_lookahead;) {
        m = bits_of(close_half(p, next, other), close_half(p + 32, next, other));
        p += m ? 0 : stretch;
    }
    return p;
}

// A table of 16 bytes in both halves of a vector, by the low four bits of
// the first letters p, t, x and l, which differ in them.
__attribute__((target("avx2"))) static __m256i by_first_letter(char p, char t, char x, char l)
{
    return _mm256_setr_epi8(p, 0, 0, 0, t, 0, 0, 0, x, 0, 0, 0, l, 0, 0, 0, //
                            p, 0, 0, 0, t, 0, 0, 0, x, 0, 0, 0, l, 0, 0, 0);
}

__attribute__((target("avx2"))) static __m256i expect(__m256i table, __m256i row, __m256i v)
{
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, row), v);
}

// three_letters for 32 places at once: the first letter picks the letters
// to expect from the tables.
__attribute__((target("avx2"))) static __m256i three_letters(__m256i a, __m256i b, __m256i c)
{
    __m256i row = _mm256_and_si256(a, _mm256_set1_epi8(15));
    return _mm256_and_si256(_mm256_and_si256(expect(by_first_letter('p', 't', 'x', 'l'), row, a),
                                             expect(by_first_letter('r', 'e', 'm', 'i'), row, b)),
                            expect(by_first_letter('e', 'x', 'p', 's'), row, c));
}

__attribute__((target("avx2"))) static __m256i tag_half(const char *q)
{
    const __m256i lower = _mm256_set1_epi8(0x20);
    __m256i slash = bytes_at(q + 1), a = _mm256_or_si256(slash, lower),
            b = _mm256_or_si256(bytes_at(q + 2), lower),
            c = _mm256_or_si256(bytes_at(q + 3), lower),
            d = _mm256_or_si256(bytes_at(q + 4), lower);
    __m256i end_tag = _mm256_and_si256(is(slash, '/'), three_letters(b, c, d));
    return _mm256_and_si256(is(bytes_at(q), '<'), _mm256_or_si256(three_letters(a, b, c), end_tag));
}

__attribute__((target("avx2"))) static const char *tag_hits_avx2(const char *p, const char *end,
                                                                 mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + tag_lookahead;) {
        m = bits_of(tag_half(p), tag_half(p + 32));
        p += m ? 0 : stretch;
    }
    return p;
}

// AVX-512 compares a whole stretch at once, into a mask.
__attribute__((target("avx512bw"))) static __m512i stretch_at(const char *p)
{
    return _mm512_loadu_si512(p);
}

__attribute__((target("avx512bw"))) static mask is(__m512i v, char c)
{
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

__attribute__((target("avx512bw"))) static const char *
close_hits_avx512(const char *p, const char *end, char next, char other, mask &m)
{
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + close_lookahead;) {
        __m512i after = stretch_at(p + 1);
        m = is(stretch_at(p), ')') & (is(after, next) | is(after, other));
        p += m ? 0 : stretch;
    }
    return p;
}

// by_first_letter in every quarter of a vector.
__attribute__((target("avx512bw"))) static __m512i by_first_letter_512(char p, char t, char x,
                                                                       char l)
{
    auto two = [](char a, char b) {
        return static_cast<long long>(static_cast<unsigned char>(a)) |
               static_cast<long long>(static_cast<unsigned char>(b)) << 32;
    };
    return _mm512_set4_epi64(two(x, l), two(p, t), two(x, l), two(p, t));
}

__attribute__((target("avx512bw"))) static mask expect(__m512i table, __m512i row, __m512i v)
{
    return _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(table, row), v);
}

__attribute__((target("avx512bw"))) static mask three_letters(__m512i a, __m512i b, __m512i c)
{
    __m512i row = _mm512_and_si512(a, _mm512_set1_epi8(15));
    return expect(by_first_letter_512('p', 't', 'x', 'l'), row, a) &
           expect(by_first_letter_512('r', 'e', 'm', 'i'), row, b) &
           expect(by_first_letter_512('e', 'x', 'p', 's'), row, c);
}

__attribute__((target("avx512bw"))) static const char *tag_hits_avx512(const char *p,
                                                                       const char *end, mask &m)
{
    const __m512i lower = _mm512_set1_epi8(0x20);
    for (m = 0; m == 0 && static_cast<size_t>(end - p) >= stretch + tag_lookahead;) {
        __m512i slash = stretch_at(p + 1), a = _mm512_or_si512(slash, lower),
                b = _mm512_or_si512(stretch_at(p + 2), lower),
                c = _mm512_or_si512(stretch_at(p + 3), lower),
                d = _mm512_or_si512(stretch_at(p + 4), lower);
        m = is(stretch_at(p), '<') &
            (three_letters(a, b, c) | (is(slash, '/') & three_letters(b, c, d)));
        p += m ? 0 : stretch;
    }
    return p;
}
#endif

// The widest compares that the processor has, found out once, as the run
// starts: a test in every stretch would cost more than its compares. Only
// the fuzz target narrows them.
enum class compares { plain, avx2, avx512 };
#ifdef TARVEL_AVX2
static compares widest = (__builtin_cpu_init(), __builtin_cpu_supports("avx512bw"))
                             ? compares::avx512
                         : __builtin_cpu_supports("avx2") ? compares::avx2
                                                          : compares::plain;
#else
[[maybe_unused]] static compares widest = compares::plain; // for the fuzz target
#endif

static const char *close_hits(const char *p, const char *end, char next, char other, mask &m)
{
#ifdef TARVEL_AVX2
    if (widest == compares::avx512)
        return close_hits_avx512(p, end, next, other, m);
    if (widest == compares::avx2)
        return close_hits_avx2(p, end, next, other, m);
#endif
    return close_hits_plain(p, end, next, other, m);
}

static const char *tag_hits(const char *p, const char *end, mask &m)
{
#ifdef TARVEL_AVX2
    if (widest == compares::avx512)
        return tag_hits_avx512(p, end, m);
    if (widest == compares::avx2)
        return tag_hits_avx2(p, end, m);
#endif
    return tag_hits_plain(p, end, m);
}

// The mask of the bytes c among the n (at most a stretch) at p: near a
// block's end, where a mask would read past it, every such byte is looked
// at closer.
static mask every(const char *p, size_t n, char c)
{
    mask m = 0;
    for (size_t i = 0; i < n; i++)
        m |= static_cast<mask>(p[i] == c) << i;
    return m;
}

// Where a search stands in its block: the stretch from `at` to `stop` and
// its mask.
struct finder {
    const char *at, *stop;
    mask bits;
};

// The first byte at or after `from` that the masks of `hits` mark, or end;
// near the end, every byte c.
template <typename F>
static const char *next_hit(finder &f, const char *from, const char *end, char c, F hits)
{
    for (;;) {
        if (from < f.stop) {
            mask left = f.bits >> (from - f.at);
            if (left)
                return from + __builtin_ctzll(left);
            from = f.stop;
        }
        if (from >= end)
            return end;
        f.at = hits(from, end, f.bits);
        f.stop = f.at + std::min(stretch, static_cast<size_t>(end - f.at));
        if (f.bits == 0)
            f.bits = every(f.at, f.stop - f.at, c);
        from = f.at;
    }
}

// Calls found(q) for the ) at q in the n bytes at p that may start a
// closing sequence (the ) followed by `next` or `other`); stops at the
// first call that returns true, and returns whether one did; near the end,
// for every ).
template <typename F>
static bool each_close(const char *p, size_t n, char next, char other, F found)
{
    const char *end = p + n;
    for (size_t len; p < end; p += len) {
        mask m;
        p = close_hits(p, end, next, other, m);
        len = std::min(stretch, static_cast<size_t>(end - p));
        if (m == 0)
            m = every(p, len, ')');
        for (; m; m &= m - 1)
            if (found(p + __builtin_ctzll(m)))
                return true;
    }
    return false;
}

// Does the block of n bytes at p hold needle, a ) and more?
static bool holds(const char *p, size_t n, const char *needle, size_t len)
{
    const char *end = p + n;
    return each_close(p, n, needle[1], needle[1], [&](const char *q) {
        return static_cast<size_t>(end - q) >= len && !memcmp(q, needle, len);
    });
}

// The delimiters that a raw string may take, in the order they are tried:
// "", html, html1, html2, ... Delimiter k is taken when the page holds
// ) delimiter ". One pass over the page marks, in `taken`, those of the
// window of delimiters [base, base + delimiter_window) that it holds.
static unsigned char taken[delimiter_window / 8];
static size_t taken_top; // bytes of `taken` that may hold a mark

// Which delimiter do the bytes after a ) at p close, or -1 for none?
static long long closes(const char *p, const char *end)
{
    if (p < end && *p == '"')
        return 0;
    if (end - p < 5 || p[0] != 'h' || p[1] != 't' || p[2] != 'm' || p[3] != 'l')
        return -1;
    p += 4;
    if (*p == '"')
        return 1;
    if (*p == '0') // html0, html01: no delimiter that is ever tried
        return -1;
    long long k = 0;
    for (size_t digits = 4; p < end && *p >= '0' && *p <= '9'; p++, digits++) {
        if (digits == delimiter_max)
            return -1;
        k = k * 10 + (*p - '0');
    }
    return p < end && *p == '"' ? k + 1 : -1;
}

static void mark_taken(const char *p, size_t n, long long base)
{
    const char *end = p + n;
    each_close(p, n, '"', 'h', [&](const char *q) {
        long long k = closes(q + 1, end) - base;
        if (k >= 0 && k < delimiter_window) {
            taken[k / 8] |= 1 << k % 8;
            taken_top = std::max(taken_top, static_cast<size_t>(k / 8 + 1));
        }
        return false;
    });
}

// Marks the delimiters of the window that the page takes, starting from
// the page's first block, which is in `in` for the first window. False when
// reading the page failed.
static bool mark_page(page &pg, long long base)
{
    long have = base == 0 ? pg.first : read_block(pg.fd, 0, 0, true);
    while (have > 0) {
        mark_taken(in, have, base);
        if (have < static_cast<long>(sizeof(in)))
            break; // the end of the page
        // A closing sequence may run over the end of the block: its first
        // bytes are looked at again in front of the next one.
        size_t kept = delimiter_max + 2;
        have = read_block(pg.fd, have, kept, false);
    }
    return have >= 0;
}

// Picks the first delimiter that the page does not take, in one pass over
// it; only a page that takes a whole window of them (over a million) needs
// a pass more. False when reading the page failed.
static bool pick_delimiter(page &pg)
{
    long long k = 0;
    for (long long base = 0; k == base; base += delimiter_window) {
        memset(taken, 0, taken_top);
        taken_top = 0;
        if (!mark_page(pg, base))
            return false;
        for (k = base; k < base + delimiter_window && taken[(k - base) / 8] & 1 << (k - base) % 8;)
            k++;
    }
    if (k == 0)
        pg.delim[0] = '\0';
    else
        snprintf(pg.delim, sizeof(pg.delim), k == 1 ? "html" : "html%lld", k - 1);
    pg.needle_len = snprintf(pg.needle, sizeof(pg.needle), ")%s\"", pg.delim);
    return true;
}

// ---- Lines -------------------------------------------------------------

// The 8 bytes at p, as a word; and a word of 8 bytes c.
static std::uint64_t word_at(const char *p)
{
    std::uint64_t w;
    memcpy(&w, p, sizeof(w));
    return w;
}

static std::uint64_t eight(char c)
{
    return 0x0101010101010101 * static_cast<unsigned char>(c);
}

// Settles the held-back CRs, all but the last `strip` of them being text.
static void settle_crs(page &pg, size_t strip)
{
    static const char crs[] = "\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r"; // written a run at a time
    if (pg.crs > strip) {
        pg.body = true;
        for (size_t n = pg.crs - strip, k; !pg.leading && n > 0; n -= k) {
            k = std::min(n, sizeof(crs) - 1);
            put_text(crs, k);
        }
    }
    pg.crs = 0;
}

// Preformatted text lies between one of these tags and its end tag. Its
// lines keep their indentation and their empty lines, which a browser shows.
constexpr const char *tag_names[] = {"pre", "listing", "textarea", "xmp"};
// From here on, elements of raw text: only their own end tag counts there.
constexpr size_t first_raw = 2;
// Bytes from a < that decide a tag of theirs: the <, a /, the longest name
// and the byte after it.
constexpr size_t tag_reach = 1 + 1 + tag_max + 1;

// A name of tag_names as the tag_max bytes after a < (and a /) that hold
// it are, read as a number and in lower case; its bytes; its length.
struct tag_word {
    std::uint64_t name, bytes;
    size_t len;
};
static_assert(tag_max == sizeof(std::uint64_t), "the longest name fills a word");

constexpr tag_word word_of(const char *name)
{
    tag_word w = {0, 0, 0};
    for (; name[w.len]; w.len++) {
        int shift = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 8 * w.len : 56 - 8 * w.len;
        w.name |= static_cast<std::uint64_t>(name[w.len]) << shift;
        w.bytes |= static_cast<std::uint64_t>(0xff) << shift;
    }
    return w;
}

constexpr tag_word tag_words[] = {word_of(tag_names[0]), word_of(tag_names[1]),
                                  word_of(tag_names[2]), word_of(tag_names[3])};
static_assert(std::size(tag_words) == std::size(tag_names), "a word for each name");

static void new_line(page &pg)
{
    pg.keep = pg.depth > 0 || pg.raw > 0;
    pg.leading = !pg.keep;
    pg.body = false;
    pg.crs = 0;
}

// Ends a line. It is written, with CR LF, unless it held its line end alone
// outside preformatted text. `strip` is how many CRs before the end belong
// to it: one before an LF, and up to two at the end of the page, where a
// line may hold nothing at all.
static void end_line(page &pg, size_t strip, bool at_lf)
{
    bool any = at_lf || pg.body || pg.crs > 0;
    if (pg.crs > strip)
        settle_crs(pg, strip);
    pg.crs = 0;
    if (pg.body || (pg.keep && any))
        put_line_end();
    new_line(pg);
}

// A tag of tag_names has been read up to the byte that ends its name.
static void take_tag(page &pg, size_t name, bool end_tag)
{
    if (pg.raw) {
        if (end_tag && name + 1 == pg.raw)
            pg.raw = 0;
    } else if (name >= first_raw) {
        if (!end_tag)
            pg.raw = name + 1;
    } else if (!end_tag) {
        pg.depth++;
    } else if (pg.depth > 0) {
        pg.depth--;
    }
}

// Does c end a tag's name? A bit for each of the bytes that do.
static bool ends_name(unsigned char c)
{
    constexpr std::uint64_t ends = 1ull << '\t' | 1ull << '\n' | 1ull << '\f' | 1ull << '\r' |
                                   1ull << ' ' | 1ull << '/' | 1ull << '>';
    return c < 64 && (ends >> c & 1);
}

// Reads a byte of what may be a tag, after its <: a tag that a block's end
// cuts is read so, a byte at a time.
static void tag_byte(page &pg, unsigned char c)
{
    if (c == '/' && pg.tag_len == 0 && !pg.end_tag) {
        pg.end_tag = true;
        return;
    }
    if (ends_name(c)) {
        for (size_t i = 0; i < std::size(tag_names); i++)
            if (pg.tag_len == strlen(tag_names[i]) && !memcmp(pg.tag, tag_names[i], pg.tag_len))
                take_tag(pg, i, pg.end_tag);
        pg.in_tag = false;
        return;
    }
    bool may_be = false;
    if (pg.tag_len < sizeof(pg.tag)) {
        pg.tag[pg.tag_len++] = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
        for (const char *name : tag_names) // the tag may hold a zero byte
            may_be |= pg.tag_len <= strlen(name) && !memcmp(pg.tag, name, pg.tag_len);
    }
    if (!may_be) { // no tag of theirs; a < starts the next one
        pg.in_tag = c == '<';
        pg.end_tag = false;
        pg.tag_len = 0;
    }
}

// Reads the tag whose < is at p, where the block holds the tag_reach bytes
// that decide it, as tag_byte would read them.
static void read_tag(page &pg, const char *p)
{
    bool end_tag = p[1] == '/';
    const char *name = p + 1 + end_tag;
    // Letters in lower case; no other byte becomes a letter.
    std::uint64_t w = word_at(name) | eight(0x20);
    for (size_t i = 0; i < std::size(tag_words); i++)
        if ((w & tag_words[i].bytes) == tag_words[i].name && ends_name(name[tag_words[i].len])) {
            take_tag(pg, i, end_tag);
            return;
        }
}

// The first < from p on that may start a tag of tag_names, or end.
static const char *next_tag(finder &f, const char *p, const char *end)
{
    return next_hit(f, p, end, '<', tag_hits);
}

// Follows the tags of a block, in order, up to `to`: a tag takes effect
// once the byte after its name has been read. `p` is where the last call
// stopped: inside a tag, or at the next < that may start one. Returns where
// this one stopped, which may lie beyond `to`; so a line without such a <
// costs nothing.
static const char *follow_tags(page &pg, finder &f, const char *p, const char *to, const char *end)
{
    while (p < to) {
        // A tag never reaches past the LF that ends its line.
        for (; !pg.in_tag && p < to && static_cast<size_t>(end - p) >= tag_reach;
             p = next_tag(f, p + 1, end))
            read_tag(pg, p);
        if (p >= to)
            break;
        if (!pg.in_tag) {
            pg.in_tag = true;
            pg.end_tag = false;
            pg.tag_len = 0;
            p++;
        }
        while (pg.in_tag && p < to) {
            tag_byte(pg, *p++);
            // A < that starts the next tag is read whole where it can be.
            bool at_lt = pg.in_tag && pg.tag_len == 0 && !pg.end_tag;
            if (at_lt && static_cast<size_t>(end - (p - 1)) >= tag_reach) {
                pg.in_tag = false;
                p--;
            }
        }
        if (!pg.in_tag)
            p = next_tag(f, p, end);
    }
    return p;
}

// The first byte from p on that is no space, tab or CR, or end. Lines are
// indented with spaces: those are passed eight at a time.
static const char *skip_blanks(const char *p, const char *end)
{
    for (; end - p >= 8; p += 8)
        if (std::uint64_t w = word_at(p) ^ eight(' ')) { // the first byte not zero is no space
            p += (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? __builtin_ctzll(w)
                                                            : __builtin_clzll(w)) /
                 8;
            break;
        }
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
        p++;
    return p;
}

// Where the run of CRs that ends the text from p to end starts; CRs are
// passed eight at a time.
static const char *before_crs(const char *p, const char *end)
{
    while (end - p >= 8 && word_at(end - 8) == eight('\r'))
        end -= 8;
    while (end > p && end[-1] == '\r')
        end--;
    return end;
}

// Converts a piece of one line (no LF in it) onto the header. Its trailing
// CRs are held back, since they may turn out to end the line.
static void convert_text(page &pg, const char *p, const char *end)
{
    const char *text_end = before_crs(p, end);
    if (text_end > p) {
        if (pg.crs > 0)
            settle_crs(pg, 0); // CRs with text after them are text
        pg.body = true;
        if (pg.leading) {
            p = skip_blanks(p, text_end);
            pg.leading = p == text_end;
        }
        put_text(p, text_end - p);
    }
    pg.crs += end - text_end;
}

// The end of the run of empty lines, LF or CR LF, from p on, and how many
// it holds. LFs are passed eight at a time.
static const char *empty_lines(const char *p, const char *end, size_t &lines)
{
    for (lines = 0;; lines++) {
        if (end - p >= 8 && word_at(p) == eight('\n'))
            p += 8, lines += 7;
        else if (p < end && *p == '\n')
            p++;
        else if (end - p >= 2 && p[0] == '\r' && p[1] == '\n')
            p += 2;
        else
            return p;
    }
}

// Converts a block of the page, which may start or end inside a line.
static void convert_block(page &pg, const char *p, const char *end)
{
    finder f = {p, p, 0};
    const char *tag = pg.in_tag ? p : next_tag(f, p, end);
    while (p < end) {
        auto lf = static_cast<const char *>(memchr(p, '\n', end - p));
        convert_text(pg, p, lf ? lf : end);
        // The LF too may end a tag's name, and so decide the next line.
        tag = follow_tags(pg, f, tag, lf ? lf + 1 : end, end);
        if (!lf)
            return;
        end_line(pg, 1, true);
        // Empty lines, as end_line would take them one by one: dropped,
        // or kept in preformatted text. No tag lies in them.
        p = lf + 1;
        if (p < end && (*p == '\n' || *p == '\r')) {
            size_t empty;
            p = empty_lines(p, end, empty);
            for (; pg.keep && empty > 0; empty--)
                put_line_end();
        }
    }
}

// ---- Pages -------------------------------------------------------------

// Converts the whole page. Returns false when reading it failed, or when it
// changed since its delimiter was picked so that its text now holds the
// closing sequence: then the text stops short of it.
static bool convert(page &pg)
{
    new_line(pg);
    bool ok = true;
    if (pg.first < static_cast<long>(sizeof(in))) {
        convert_block(pg, in, in + pg.first);
    } else {
        long have = 0;
        size_t kept = 0;
        for (bool start = true; (have = read_block(pg.fd, have, kept, start)) > 0; start = false) {
            if (holds(in, have, pg.needle, pg.needle_len)) {
                have = -1;
                break;
            }
            convert_block(pg, in + kept, in + have);
            kept = std::min(pg.needle_len - 1, static_cast<size_t>(have));
        }
        ok = have == 0;
    }
    end_line(pg, 2, false);
    return ok;
}

// The name of the run's own file that a page is, or null: the old header
// or one of own. Read as a page, the new header would feed itself to
// itself without end.
static const char *own_file(const struct stat &page)
{
    return is_old_header(page) ? header_name : own_name(page);
}

// A listing line names a page when it holds a whole name ending in ".html".
static bool is_page(const char *name, long len)
{
    return strlen(name) == static_cast<size_t>(len) && len >= 5 && !strcmp(name + len - 5, ".html");
}

// Appends the bytes of the file open at fd to the header as they are, the
// array `id`, a string literal of escapes. False when reading it failed.
static bool put_bytes(int fd, const char *id)
{
    open_array(id, nullptr);
    long got;
    while ((got = read_block(fd, 0, 0, false)) > 0)
        put_file_bytes(in, got);
    close_array();
    return got == 0;
}

// Takes the identifier id for a file of the tree (-a), numbered where C++
// or an earlier block has it: the lowest free of id_2, id_3 ... False when
// none is free.
static bool claim_numbered(char (&id)[id_max])
{
    if (!is_keyword(id) && claim(id, true))
        return true;
    size_t len = strlen(id);
    for (unsigned n = 2; n < numbers_tried; n++) {
        snprintf(id + len, sizeof(id) - len, "_%u", n);
        if (claim(id, true))
            return true;
    }
    id[len] = '\0';
    return false;
}

// Takes the identifier id for the file name, open as st; false, with a
// report, for a file that gets no block.
static bool takes(const char *name, char (&id)[id_max], const struct stat &st)
{
    const char *own = own_file(st), *away = own ? nullptr : outside_tree(name, st);
    if (own)
        report(failure, "Can't convert file %s: it is %s\n", name, own);
    else if (away)
        report(failure, "Can't convert file %s: %s\n", name, away);
    else if (root[0] ? !claim_numbered(id) : !claim(id, false))
        report(failure, "Can't convert file %s: %s is already used\n", name, id);
    else
        return true;
    return false;
}

// Appends the file `name` to the header as the array `id` (with -a,
// numbered where another file has it): a page (with -a, a file named
// *.html) as a raw string by the line rules, any other file as its bytes. A
// file that cannot be read still gets its closing line, so the header stays
// whole.
void tarvel(const char *name, const char *made_id)
{
    page pg = {};
    struct stat st;
    char id[id_max];
    snprintf(id, sizeof(id), "%s", made_id);
    pg.fd = open_regular(name, &st);
    if (pg.fd < 0 && root[0] && links_to_folder(name)) {
        report(failure, "Can't convert file %s: it links to a folder\n", name);
        return;
    }
    if (pg.fd < 0) {
        file_error(name);
        return;
    }
    if (!takes(name, id, st)) {
        close(pg.fd);
        return;
    }
    bool ok;
    if (!root[0] || is_page(name, strlen(name))) {
        pg.first = read_block(pg.fd, 0, 0, false);
        ok = pg.first >= 0 && pick_delimiter(pg);
        open_array(id, pg.delim);
        if (ok)
            ok = convert(pg);
        close_array();
    } else {
        ok = put_bytes(pg.fd, id);
    }
    record_block(id, end_block(name, id, st.st_size), name);
    if (!ok)
        report(failure, "Can't read file %s\n", name);
    if (root[0] && !type_of(name))
        report(fine, "Type of file %s unknown: served as %s\n", name, unknown_type);
    close(pg.fd);
}

// ---- Listing -----------------------------------------------------------

// Reads one line of a listing into name, without its line feed, and
// returns its length, or -1 at the end. A line too long for name is still
// read to its end, and its full length returned.
static long read_name(FILE *list, char *name, size_t size)
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

// Lists the folder's pages into a new list.txt, which replaces the old one
// whole (a link at list.txt is replaced, never written through). Returns
// the listing, open at its start: the run reads the names it wrote itself,
// whatever another run does to list.txt meanwhile. Null when the listing
// could not be made or written. With `tree`, it lists the files of the
// folder's tree instead.
static FILE *list_pages(bool tree)
{
    replacement file = {-1, 0, ""};
    struct stat old;
    bool regular = lstat(list_name, &old) == 0 && S_ISREG(old.st_mode);
    if (!may_replace(list_name) || !start_file(file, list_name, regular ? &old : nullptr))
        return nullptr;
    FILE *list = fdopen(file.fd, "w+");
    bool ok = list && (tree ? list_tree(list) : list_folder(list)) && fflush(list) == 0 &&
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

// ---- Run ---------------------------------------------------------------

// A standard stream that the caller closed would be the first file opened,
// and the reports printed on it would land in list.txt or the header.
static bool open_std_streams()
{
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            return false;
    return true;
}

// The option that a is, by its letter (a, z, k, h, v), or 0 for none.
static char option(const char *a)
{
    static const struct {
        const char *name;
        char letter;
    } all[] = {{"-a", 'a'},     {"--assets", 'a'}, {"-z", 'z'},
               {"--gzip", 'z'}, {"-k", 'k'},       {"--keep-files", 'k'},
               {"-h", 'h'},     {"--help", 'h'},   {"--version", 'v'}};
    for (const auto &o : all)
        if (!strcmp(a, o.name))
            return o.letter;
    return 0;
}

// Do the options of the letters o and p combine? Those of a run do, each
// given once.
static bool combine(char o, char p)
{
    return o != p && strchr("azk", o) && strchr("azk", p);
}

// Says what is wrong with an argument: that it is no option, or one that
// does not combine with the argument `with`.
static void misused(const char *a, const char *with)
{
    if (with)
        report(misuse, "tarvel: %s: does not combine with %s\n", a, with);
    else if (a[0] == '-' && a[1])
        report(misuse, "tarvel: %s: no such option\n", a);
    else
        report(misuse, "tarvel: %s: tarvel takes no file names; run it in the folder of pages\n",
               a);
    report(misuse, "%s", usage);
}

// Reads the command line: true to go on and run, with the gzip twins or
// without, with the folder's tree or its pages, keeping files beside their
// twins or not. Otherwise what it asked for has been reported. -a, -z and
// -k combine, once each, -k only with the other two; no other option does.
static bool options(int argc, char *argv[], bool &gzip, bool &assets, bool &keep)
{
    gzip = assets = keep = false;
    if (argc < 1) { // not even the program's name
        report(misuse, "%s", usage);
        return false;
    }
    int kept = 0;
    for (int i = 1; i < argc; i++) {
        char o = option(argv[i]);
        int clash = 0;
        for (int j = 1; j < i && !clash; j++)
            if (!combine(o, option(argv[j])))
                clash = j;
        if (!o || clash) {
            misused(argv[i], o ? argv[clash] : nullptr);
            return false;
        }
        gzip |= o == 'z';
        assets |= o == 'a';
        kept = o == 'k' ? i : kept;
    }
    keep = kept > 0;
    if (keep && !(gzip && assets)) {
        report(misuse, "tarvel: %s: keeps files beside their twins, with -a and -z only\n",
               argv[kept]);
        report(misuse, "%s", usage);
        return false;
    }
    char alone = argc == 2 ? option(argv[1]) : 0;
    if (alone == 'h')
        report(fine, "%s", usage);
    else if (alone == 'v')
        report(fine, "tarvel %s\n", TARVEL_VERSION);
    return alone != 'h' && alone != 'v';
}

// Converts every page that the listing names into the header; with
// `tree`, every file of the folder's tree.
static void convert_pages(bool tree)
{
    if (tree && !find_root()) {
        report(failure, "Can't open folder .\n");
        return;
    }
    FILE *list = list_pages(tree);
    if (!list) {
        report(failure, "Can't write file %s\n", list_name);
        return;
    }
    if (!open_header()) {
        file_error(header_name);
        fclose(list);
        return;
    }
    char name[name_max], id[id_max];
    int pages = 0;
    long len;
    while ((len = read_name(list, name, sizeof(name))) >= 0) {
        if (tree ? strlen(name) != static_cast<size_t>(len) : !is_page(name, len))
            continue;
        make_identifier(id, name, len);
        report(fine, "%s\n", name);
        tarvel(name, id);
        pages++;
    }
    // A listing cut short would make a header short of pages.
    bool listed = !ferror(list);
    if (!listed)
        report(failure, "Can't read file %s\n", list_name);
    report(fine, "%d files processed.\n", pages);
    if (tree)
        report_cost();
    put_list();
    end_header(listed);
    fclose(list);
}

#ifndef TARVEL_NO_MAIN
int main(int argc, char *argv[])
{
    if (!open_std_streams())
        return failure;
    bool gzip, assets, keep;
    if (options(argc, argv, gzip, assets, keep)) {
        report(fine, "%s", banner);
        start_twins(gzip, assets, keep);
        catch_signals();
        add_own(STDOUT_FILENO, "standard output");
        add_own(STDERR_FILENO, "standard error");
        convert_pages(assets);
        end_twins();
    }
    return exit_status();
}
#endif
