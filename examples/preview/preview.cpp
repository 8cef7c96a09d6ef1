// preview: serves the pages of a header made with tarvel -z on this PC, the
// way a firmware serves them from flash, to look at them in a browser.
//
//   preview [PORT]    (8080 by default; 0 takes any free port)
//
// A browser that accepts gzip gets a page's gzip twin as it is, with
// Content-Encoding: gzip; any other client gets the raw string. The twin
// comes with its ETag and Cache-Control: no-cache, so a browser asks again
// on every visit, and a request that names the ETag in If-None-Match gets
// 304 Not Modified and no body.

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include <httplib.h>

#include "htmls.h"

struct page {
    const char *path;
    const char *text;
    size_t size; // the text's bytes, its terminating zero left out
    const unsigned char *gz;
    unsigned long gz_len;
    const char *etag;
};

// clang-format off
#define SERVE(path, name) \
    {path, name##_html, sizeof(name##_html) - 1, name##_html_gz, name##_html_gz_len, name##_html_etag}
// clang-format on

// The pages and their paths. The build may give a list of its own instead,
// PAGE(name) a line, each page served as /name.html.
static const page pages[] = {
#ifdef PREVIEW_PAGES
#define PAGE(name) SERVE("/" #name ".html", name),
#include PREVIEW_PAGES
#else
    SERVE("/", settings),
    SERVE("/settings.html", settings),
    SERVE("/status.html", status),
#endif
};

// The comma-separated items of a request header, each without what follows
// its first ; and without spaces around it.
template <typename F> static bool any_item(const std::string &value, F is)
{
    for (size_t at = 0; at <= value.size();) {
        size_t comma = std::min(value.find(',', at), value.size());
        std::string item = value.substr(at, comma - at);
        item = item.substr(0, item.find(';'));
        size_t first = item.find_first_not_of(" \t"), last = item.find_last_not_of(" \t");
        if (first != std::string::npos && is(item.substr(first, last - first + 1)))
            return true;
        at = comma + 1;
    }
    return false;
}

// Does the request take gzip? Parameters such as q=0 are not looked at:
// browsers do not send them.
static bool takes_gzip(const httplib::Request &req)
{
    return any_item(req.get_header_value("Accept-Encoding"),
                    [](const std::string &coding) { return coding == "gzip"; });
}

// Does If-None-Match name the ETag? It compares weakly: W/"x" names "x".
static bool names_etag(const httplib::Request &req, const char *etag)
{
    return any_item(req.get_header_value("If-None-Match"), [&](const std::string &tag) {
        return tag == "*" || tag == etag || tag == std::string("W/") + etag;
    });
}

static void serve(const httplib::Request &req, httplib::Response &res)
{
    const page *p = nullptr;
    for (const page &q : pages)
        if (req.path == q.path)
            p = &q;
    if (!p) {
        res.status = 404;
        res.set_content("Not found\n", "text/plain");
        return;
    }
    res.set_header("Vary", "Accept-Encoding");
    res.set_header("Cache-Control", "no-cache");
    if (!takes_gzip(req)) {
        res.set_content(p->text, p->size, "text/html");
        return;
    }
    // The ETag names the gzip bytes, so only they carry it.
    res.set_header("ETag", p->etag);
    if (names_etag(req, p->etag)) {
        res.status = 304;
        return;
    }
    res.set_header("Content-Encoding", "gzip");
    // Sent through a provider of known length: the library compresses a body
    // it is handed whole, and these bytes are compressed already.
    res.set_content_provider(p->gz_len, "text/html",
                             [p](size_t offset, size_t length, httplib::DataSink &sink) {
                                 sink.write(reinterpret_cast<const char *>(p->gz) + offset, length);
                                 return true;
                             });
}

int main(int argc, char *argv[])
{
    char *end = nullptr;
    long port = argc > 1 ? strtol(argv[1], &end, 10) : 8080;
    if (argc > 2 || (argc > 1 && (end == argv[1] || *end)) || port < 0 || port > 65535) {
        fputs("usage: preview [PORT]\n", stderr);
        return 2;
    }
    httplib::Server server;
    server.Get(".*", serve);
    server.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        printf("%d %s %s\n", res.status, req.method.c_str(), req.path.c_str());
        fflush(stdout);
    });
    if (port == 0)
        port = server.bind_to_any_port("127.0.0.1");
    else if (!server.bind_to_port("127.0.0.1", static_cast<int>(port)))
        port = -1;
    if (port < 0) {
        fprintf(stderr, "preview: cannot listen on 127.0.0.1:%s\n", argc > 1 ? argv[1] : "8080");
        return 1;
    }
    printf("Serving %zu pages on http://127.0.0.1:%ld/\n", std::size(pages), port);
    fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
