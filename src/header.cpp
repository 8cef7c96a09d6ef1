// header.cpp: the new header, gathered in `out`, held against the old one,
// flushed as it grows and put in place of the old one whole (header.h).
// Owns `out`, `out_len`, `header` and `flusher`.

#include "header.h"
#include "testing.h"

#include "files.h"
#include "report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

char out[header_buffer];
size_t out_len; // bytes waiting in `out`
static struct {
    replacement file;      // the new header
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
} header = {{-1, 0, ""}, false, false, false, {}, "", -1, 0, {}, 0, 0};

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

bool header_may_be_whole()
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

void flush_out()
{
    put_out(out, out_len);
    out_len = 0;
}

void put_past_out(const char *p, size_t n)
{
    flush_out();
    if (n > sizeof(out)) {
        put_out(p, n);
        return;
    }
    memcpy(out, p, n);
    out_len = n;
}

void text_lost()
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

bool open_header()
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

bool is_old_header(const struct stat &page)
{
    return header.exists && page.st_dev == header.old.st_dev && page.st_ino == header.old.st_ino;
}

void keep_old_header()
{
    header.is_a_page = true;
}

// Is the new header, compared up to its end, the old one still standing at
// its path, unchanged? Then the old one stays.
static bool old_header_stands()
{
    struct stat now;
    char more;
    return header.was >= 0 && read_full(header.was, &more, 1) == 0 && old_header_holds() &&
           lstat(header.path, &now) == 0 && now.st_dev == header.old.st_dev &&
           now.st_ino == header.old.st_ino;
}

// How many names the old header has now: a rename gives only one of them
// the new header.
static nlink_t header_names()
{
    struct stat now;
    return lstat(header.path, &now) == 0 ? now.st_nlink : 1;
}

void end_header(bool listed)
{
    flush_out();
    stop_flusher();
    bool whole = header_may_be_whole() && listed, same = whole && old_header_stands();
    // A new header that began as the old one gets the old one's bytes now.
    if (whole && !same && header.was >= 0 && !stop_comparing())
        header.short_of_text = true;
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

size_t escape(unsigned char c, char *to)
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

void put_literal(const unsigned char *p, size_t n, bool &first)
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

void put_strings(std::initializer_list<const char *> strings)
{
    for (const char *s : strings)
        put_string(s);
}

void test_header_to(int fd)
{
    header = {{fd, 0, ""}, false, false, false, {}, "", -1, 0, {}, 0, 0};
    out_len = 0;
}

bool test_header_whole()
{
    return header_may_be_whole();
}
