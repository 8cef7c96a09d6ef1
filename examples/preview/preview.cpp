// preview: serves the pages of a header made with tarvel -z on this PC, the
// way a firmware serves them from flash, to look at them in a browser.
//
//   preview [PORT]    (8080 by default; 0 takes any free port)
//
// Every page of the header's list is served at its path; / serves
// /index.html where there is one, else a list of links to the pages. A
// browser that accepts gzip gets a page's gzip twin as it is, with
// Content-Encoding: gzip; any other client gets the raw string. The twin
// comes with its ETag and Cache-Control: no-cache, so a browser asks again
// on every visit, and a request that names the ETag in If-None-Match gets
// 304 Not Modified and no body.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The header's pages, and an empty entry that ends them (and makes a table
// where there are no pages). A page whose twin could not be made has none.
#define PAGE(path, raw, gz, gz_len, etag) {path, raw, sizeof(raw) - 1, gz, gz_len, etag},
static const page pages[] = {tarvel_pages(PAGE){nullptr, nullptr, 0, nullptr, 0, nullptr}};

static const page *find(const std::string &path)
{
    for (const page *p = pages; p->path; p++)
        if (path == p->path)
            return p;
    return nullptr;
}

// The page of /: a link to every page.
static std::string index_of_pages()
{
    std::string html = "<!DOCTYPE html>\n<title>Pages</title>\n<ul>\n";
    for (const page *p = pages; p->path; p++) {
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
static bool takes_gzip(const httplib::Request &req)
{
    int gzip = -1, any = -1; // -1: not named, 0: refused, 1: taken
    any_item(req.get_header_value("Accept-Encoding"),
             [&](const std::string &name, const std::string &params) {
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
static bool names_etag(const httplib::Request &req, const char *etag)
{
    return any_item(req.get_header_value("If-None-Match"),
                    [&](const std::string &tag, const std::string &) {
                        return tag == "*" || tag == etag || tag == std::string("W/") + etag;
                    });
}

// Sends bytes as they are, through a provider of known length: the library
// compresses a body it is handed whole, which a firmware does not do.
static void send(httplib::Response &res, const char *bytes, size_t size)
{
    res.set_content_provider(size, "text/html",
                             [bytes](size_t offset, size_t length, httplib::DataSink &sink) {
                                 sink.write(bytes + offset, length);
                                 return true;
                             });
}

static void serve(const httplib::Request &req, httplib::Response &res)
{
    const page *p = find(req.path == "/" ? "/index.html" : req.path);
    if (!p && req.path == "/") {
        res.set_content(index_of_pages(), "text/html");
        return;
    }
    if (!p) {
        res.status = 404;
        res.set_content("Not found\n", "text/plain");
        return;
    }
    res.set_header("Vary", "Accept-Encoding");
    res.set_header("Cache-Control", "no-cache");
    if (!p->gz || !takes_gzip(req)) {
        send(res, p->text, p->size);
        return;
    }
    // The ETag names the gzip bytes, so only they carry it.
    res.set_header("ETag", p->etag);
    if (names_etag(req, p->etag)) {
        // No body, and the length a 200 would have: the library would
        // otherwise say 0.
        res.status = 304;
        res.set_header("Content-Length", std::to_string(p->gz_len));
        return;
    }
    res.set_header("Content-Encoding", "gzip");
    send(res, reinterpret_cast<const char *>(p->gz), p->gz_len);
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
    printf("Serving %zu pages on http://127.0.0.1:%ld/\n", std::size(pages) - 1, port);
    fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
