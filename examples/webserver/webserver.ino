// Serves a web UI from flash with the web server of the ESP8266 or the ESP32
// Arduino core: every file of ui/ at its path, gzip-compressed where that is
// smaller, revalidated by its ETag, and ui/index.html for any other path, as
// a single-page app wants.
//
// The UI is htmls.h, which tarvel writes from ui/; write it again whenever a
// file of ui/ changes:
//   Arduino IDE:  cd ui && tarvel -a -z    (htmls.h lands beside this file)
//   CMake:        tarvel_header(firmware GZIP ASSETS FOLDER ui)
#if defined(ESP8266)
#include <ESP8266WebServer.h>
#include <ESP8266WiFi.h>
using WebServer = ESP8266WebServer;
#else
#include <WebServer.h>
#include <WiFi.h>
#endif

#include "htmls.h"

const char *ssid = "your network", *password = "its password";
WebServer server(80);

// The files of the UI, from the list that ends htmls.h. A file whose gzip
// twin is smaller is kept as the twin alone: its data is nullptr.
struct UiFile {
    const char *path, *type, *data;
    size_t len;
    const uint8_t *gz;
    size_t gz_len;
    const char *etag;
};
#define UI_FILE(path, type, data, len, gz, gz_len, etag) {path, type, data, len, gz, gz_len, etag},
const UiFile uiFiles[] = {tarvel_files(UI_FILE){nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr}};

// The build fails, not the board, when the UI outgrows the flash set aside
// for it; a folder's second entry ("/", "/docs/") adds nothing.
#define UI_BYTES(path, type, data, len, gz, gz_len, etag) +(path[sizeof(path) - 2] == '/' ? 0 : len + gz_len)
static_assert(0 tarvel_files(UI_BYTES) <= 100000, "the web UI outgrew its 100,000 bytes of flash");

// Does the request take gzip? Every browser does; a client that sends no
// Accept-Encoding takes any coding; "identity" alone or "gzip;q=0" refuse it.
bool takesGzip(bool sent, String accept)
{
    if (!sent)
        return true;
    accept.toLowerCase();
    accept.replace(" ", "");
    int at = accept.indexOf("gzip");
    if (at < 0)
        at = accept.indexOf('*');
    int end = accept.indexOf(',', at), q = accept.indexOf(";q=", at);
    if (end < 0)
        end = accept.length();
    return at >= 0 && (q < 0 || q > end || accept.substring(q + 3, end).toFloat() > 0);
}

// GET and HEAD: the twin to a client that takes gzip, else the file, or 406
// where there is no file; the ETag of what is sent, and 304 when the client
// names it.
void sendFile(const UiFile *f)
{
    if (server.method() != HTTP_GET && server.method() != HTTP_HEAD)
        return server.send(405);
    bool gzip = f->gz && takesGzip(server.hasHeader("Accept-Encoding"), server.header("Accept-Encoding"));
    server.sendHeader("Vary", "Accept-Encoding");
    if (!gzip && !f->data)
        return server.send(406, "text/plain", "This file is served gzip-compressed only\n");
    bool tagged = gzip || !f->gz; // the ETag names the twin where there is one
    server.sendHeader("Cache-Control", "no-cache");
    if (tagged)
        server.sendHeader("ETag", f->etag);
    if (tagged && server.header("If-None-Match") == f->etag)
        return server.send(304);
    if (gzip)
        server.sendHeader("Content-Encoding", "gzip");
    server.setContentLength(gzip ? f->gz_len : f->len);
    server.send(200, f->type, ""); // the headers; the body follows from flash
    if (server.method() != HTTP_HEAD)
        server.sendContent_P(gzip ? (const char *)f->gz : f->data, gzip ? f->gz_len : f->len);
}

void setup()
{
    Serial.begin(115200);
    WiFi.mode(WIFI_STA);
    WiFi.begin(ssid, password);
    while (WiFi.status() != WL_CONNECTED)
        delay(250);
    Serial.println(WiFi.localIP());
    static const char *wanted[] = {"Accept-Encoding", "If-None-Match"};
    server.collectHeaders(wanted, sizeof wanted / sizeof *wanted); // a size_t: not 2
    for (const UiFile *f = uiFiles; f->path; f++) {
        server.on(f->path, HTTP_ANY, [f]() { sendFile(f); });
        if (!strcmp(f->path, "/")) // the UI's index.html, for every other path
            server.onNotFound([f]() { sendFile(f); });
    }
    server.begin();
}

void loop()
{
    server.handleClient();
}
