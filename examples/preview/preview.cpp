// preview: serves the files of a header made with tarvel -a -z (or the
// pages of one made with tarvel -z) on this PC, the way a firmware serves
// them from flash, to look at them in a browser.
//
//   preview [PORT]    (8080 by default; 0 takes any free port)
//
// Every file of the header's list is served at its path, with its type;
// / (and each folder's path) is its index.html, or, where the folder has
// none, a list of links to the files. A browser that accepts gzip gets a
// file's gzip twin as it is, with Content-Encoding: gzip; any other client,
// and every client of a file without a twin, gets the file itself. A file
// kept as its twin alone (tarvel -a -z) goes as the twin to a client that
// sends no Accept-Encoding too, which takes any coding, and gets 406 Not
// Acceptable where the client refuses gzip. The ETag names the twin where
// there is one, else the file, and comes with what it names, with
// Cache-Control: no-cache, so a browser asks again on every visit; a request
// that names it in If-None-Match gets 304 Not Modified and no body. HEAD
// gets the headers of GET and no body.
//
// As a firmware does, it sends every file whole (Range is ignored) and
// compresses nothing itself. libmicrohttpd serves every connection from one
// thread, so idle or slow clients hold up no other; one idle for
// idle_seconds is closed. Pipelined requests are answered in turn. A request
// line whose target holds a byte that HTTP forbids there (a zero byte, which
// would cut it short, a control byte, a space, a byte above ~) gets 400.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include "htmls.h"

constexpr unsigned idle_seconds = 10; // a connection without a byte for this long is closed
constexpr unsigned connections_max = 1000;

struct file {
    const char *path;
    const char *type;
    const char *data;
    unsigned long len; // the data's bytes, a terminating zero left out
    const unsigned char *gz;
    unsigned long gz_len;
    const char *etag;
};

// The header's files, and an empty entry that ends them (and makes a table
// where there are none). A file without a twin has none; a file kept as its
// twin alone has no data.
#ifdef tarvel_files
#define FILE_ROW(path, type, data, len, gz, gz_len, etag) {path, type, data, len, gz, gz_len, etag},
static const file files[] = {
    tarvel_files(FILE_ROW){nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr}};
#else // pages alone, of tarvel -z
#define PAGE_ROW(path, raw, gz, gz_len, etag)                                                      \
    {path, "text/html", raw, sizeof(raw) - 1, gz, gz_len, etag},
static const file files[] = {
    tarvel_pages(PAGE_ROW){nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr}};
#endif

static const file *find(const std::string &path)
{
    for (const file *p = files; p->path; p++)
        if (path == p->path)
            return p;
    return nullptr;
}

// The page of / where there is no index.html: a link to every file.
static std::string index_of_files()
{
    std::string html = "<!DOCTYPE html>\n<title>Files</title>\n<ul>\n";
    for (const file *p = files; p->path; p++) {
        std::string href, text;
        for (unsigned char c : std::string(p->path)) {
            char hex[4];
            snprintf(hex, sizeof(hex), "%%%02X", c);
            href += isalnum(c) || strchr("/-._~", c) ? std::string(1, c) : hex;
            text += c == '&' ? "&amp;" : c == '<' ? "&lt;" : std::string(1, c);
        }
        html += "<li><a href=\"" + href + "\">" + text + "</a>\n";
    }
    return html + "</ul>\n";
}

// Calls is(item, params) for the comma-separated items of a request
// header, each without spaces around it and split at its first ; from what
// follows; stops at the first call that returns true, and returns whether
// one did.
template <typename F> static bool any_item(const std::string &value, F is)
{
    auto trim = [](const std::string &s) {
        size_t first = s.find_first_not_of(" \t"), last = s.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
    };
    for (size_t at = 0; at <= value.size();) {
        size_t comma = std::min(value.find(',', at), value.size());
        std::string item = value.substr(at, comma - at);
        size_t semi = std::min(item.find(';'), item.size());
        std::string name = trim(item.substr(0, semi)), params = item.substr(semi);
        if (!name.empty() && is(name, params))
            return true;
        at = comma + 1;
    }
    return false;
}

static std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// Does a coding's parameters give it the weight q=0, which refuses it?
static bool refused(const std::string &params)
{
    std::string p = lower(params);
    p.erase(std::remove_if(p.begin(), p.end(), [](char c) { return c == ' ' || c == '\t'; }),
            p.end());
    size_t q = p.find(";q=");
    if (q == std::string::npos)
        return false;
    std::string weight = p.substr(q + 3, p.find(';', q + 3) - q - 3);
    return !weight.empty() && weight[0] == '0' &&
           weight.find_first_not_of("0.") == std::string::npos;
}

// Does the request take gzip? A coding is named in any case, x-gzip is
// gzip, and * stands for gzip where gzip is not named; q=0 refuses.
static bool takes_gzip(const std::string &accept_encoding)
{
    int gzip = -1, any = -1; // -1: not named, 0: refused, 1: taken
    any_item(accept_encoding, [&](const std::string &name, const std::string &params) {
        std::string coding = lower(name);
        int taken = !refused(params);
        if (coding == "gzip" || coding == "x-gzip")
            gzip = std::max(gzip, taken);
        else if (coding == "*")
            any = std::max(any, taken);
        return false;
    });
    return gzip >= 0 ? gzip == 1 : any == 1;
}

// Does If-None-Match name the ETag? It compares weakly: W/"x" names "x".
static bool names_etag(const std::string &if_none_match, const char *etag)
{
    return any_item(if_none_match, [&](const std::string &tag, const std::string &) {
        return tag == "*" || tag == etag || tag == std::string("W/") + etag;
    });
}

// The path of a request, its %XX escapes decoded; a zero byte stays in it,
// so that /a.html%00x is no /a.html.
static std::string decoded(const char *url)
{
    std::string path;
    for (const char *p = url; *p; p++) {
        if (p[0] == '%' && isxdigit(static_cast<unsigned char>(p[1])) &&
            isxdigit(static_cast<unsigned char>(p[2]))) {
            path += static_cast<char>(std::stoi(std::string(p + 1, 2), nullptr, 16));
            p += 2;
        } else {
            path += *p;
        }
    }
    return path;
}

// The library would decode the path itself, and cut it at a zero byte.
static size_t keep_escapes(void *, struct MHD_Connection *, char *url)
{
    return strlen(url);
}

// Where the request line's target ends or first holds a byte that HTTP
// forbids there: a zero byte, another control byte, a space, or a byte
// above ~. The library hands the target over as a C string, cut at a zero
// byte, but in the line as it came, where its end is the byte before the
// version (on_request); so a target that ends there is whole and clean.
// What this returns becomes the request's own pointer.
static void *first_forbidden(void *, const char *uri, struct MHD_Connection *)
{
    const char *p = uri;
    while (*p > ' ' && *p < 0x7f)
        p++;
    return const_cast<char *>(p);
}

// Every value of a request header, joined as one list: a client may send
// the header more than once.
static std::string header(struct MHD_Connection *connection, const char *name)
{
    struct wanted {
        const char *name;
        std::string value;
    } w = {name, ""};
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void *cls, enum MHD_ValueKind, const char *key, const char *value) {
            auto *w = static_cast<wanted *>(cls);
            if (!strcasecmp(key, w->name))
                w->value += (w->value.empty() ? "" : ", ") + std::string(value ? value : "");
            return MHD_YES;
        },
        &w);
    return w.value;
}

// What a request gets.
struct reply {
    unsigned status;
    const void *bytes;
    size_t size;
    const char *type;
    const file *p; // the file answered, which adds its headers
    bool gzip;     // its twin, or 304 for it
    bool tagged;   // what the file's ETag names
};

static reply answer(struct MHD_Connection *connection, const char *method, const std::string &path,
                    const std::string &links)
{
    static const char not_allowed[] = "Only GET and HEAD\n", not_found[] = "Not found\n",
                      gzip_only[] = "This file is served gzip-compressed only\n";
    if (strcmp(method, "GET") && strcmp(method, "HEAD"))
        return {MHD_HTTP_METHOD_NOT_ALLOWED,
                not_allowed,
                sizeof(not_allowed) - 1,
                "text/plain",
                nullptr,
                false,
                false};
    const file *p = find(path);
    if (!p && path == "/") // a list of pages alone has no entry for /
        p = find("/index.html");
    if (!p && path == "/")
        return {MHD_HTTP_OK, links.data(), links.size(), "text/html", nullptr, false, false};
    if (!p)
        return {MHD_HTTP_NOT_FOUND,
                not_found,
                sizeof(not_found) - 1,
                "text/plain",
                nullptr,
                false,
                false};
    const char *accept = MHD_HTTP_HEADER_ACCEPT_ENCODING;
    bool asked = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, accept) != nullptr;
    bool gzip = p->gz && ((!p->data && !asked) || takes_gzip(header(connection, accept)));
    if (!gzip && !p->data)
        return {MHD_HTTP_NOT_ACCEPTABLE,
                gzip_only,
                sizeof(gzip_only) - 1,
                "text/plain",
                p,
                false,
                false};
    bool tagged = p->etag && (gzip || !p->gz);
    const void *bytes = gzip ? static_cast<const void *>(p->gz) : p->data;
    size_t size = gzip ? p->gz_len : p->len;
    // The library sends no body with a 304, and gives the length a 200
    // would have.
    if (tagged && names_etag(header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH), p->etag))
        return {MHD_HTTP_NOT_MODIFIED, bytes, size, p->type, p, gzip, true};
    return {MHD_HTTP_OK, bytes, size, p->type, p, gzip, tagged};
}

// Logs an answer, the path's bytes as they came but for control bytes, a
// backslash and bytes above ~, which are escaped: no client writes a line
// of its own into the log.
static void log_answer(unsigned status, const char *method, const std::string &path)
{
    std::string shown;
    for (unsigned char c : path) {
        char hex[5];
        snprintf(hex, sizeof(hex), "\\x%02x", c);
        shown += c >= ' ' && c < 0x7f && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    printf("%u %s %s\n", status, method, shown.c_str());
    fflush(stdout);
}

// Answers a request once its headers are in, with the bytes as they are:
// the library compresses nothing and leaves Range alone, so every file goes
// out whole. The first call for a request only marks it seen, clean or
// not; a reply queued before the request is read through would close the
// connection. A target that holds a byte HTTP forbids gets 400.
static MHD_Result on_request(void *, struct MHD_Connection *connection, const char *url,
                             const char *method, const char *version, const char *,
                             size_t *body_size, void **seen)
{
    static char clean, forbidden;
    if (*seen != &clean && *seen != &forbidden) { // where the target's clean part ended
        *seen = *seen == version - 1 ? &clean : &forbidden;
        return MHD_YES;
    }
    if (*body_size) { // the files take no body: it goes unread
        *body_size = 0;
        return MHD_YES;
    }
    static const std::string links = index_of_files();
    static const char bad_request[] = "A byte in the request line that HTTP forbids there\n";
    std::string path = decoded(url);
    if (*seen == &forbidden) // all of the target, as it came, for the log
        path.assign(url, version > url && version - url < 65536 ? version - 1 - url : strlen(url));
    reply r = *seen == &forbidden ? reply{MHD_HTTP_BAD_REQUEST,
                                          bad_request,
                                          sizeof(bad_request) - 1,
                                          "text/plain",
                                          nullptr,
                                          false,
                                          false}
                                  : answer(connection, method, path, links);
    struct MHD_Response *response = MHD_create_response_from_buffer(
        r.size, const_cast<void *>(r.bytes), MHD_RESPMEM_PERSISTENT);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, r.type);
    if (r.p) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, "Accept-Encoding");
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    }
    if (r.tagged)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, r.p->etag);
    if (r.gzip && r.status == MHD_HTTP_OK)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    MHD_Result queued = MHD_queue_response(connection, r.status, response);
    MHD_destroy_response(response);
    log_answer(r.status, method, path);
    return queued;
}

int main(int argc, char *argv[])
{
    char *end = nullptr;
    long port = argc > 1 ? strtol(argv[1], &end, 10) : 8080;
    if (argc > 2 || (argc > 1 && (end == argv[1] || *end)) || port < 0 || port > 65535) {
        fputs("usage: preview [PORT]\n", stderr);
        return 2;
    }
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    struct MHD_Daemon *daemon = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, on_request, nullptr,
        MHD_OPTION_SOCK_ADDR, &at, MHD_OPTION_CONNECTION_TIMEOUT, idle_seconds,
        MHD_OPTION_CONNECTION_LIMIT, connections_max, MHD_OPTION_UNESCAPE_CALLBACK, keep_escapes,
        nullptr, MHD_OPTION_URI_LOG_CALLBACK, first_forbidden, nullptr, MHD_OPTION_END);
    const union MHD_DaemonInfo *bound =
        daemon ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    if (!bound) {
        fprintf(stderr, "preview: cannot listen on 127.0.0.1:%s\n", argc > 1 ? argv[1] : "8080");
        return 1;
    }
    printf("Serving %zu files on http://127.0.0.1:%u/\n", std::size(files) - 1, bound->port);
    fflush(stdout);
    for (;;)
        pause(); // until a signal ends it
}
