// Serves a web UI from flash with ESPAsyncWebServer (1.2, or 3.x of
// ESP32Async) on an ESP8266 (with ESPAsyncTCP) or an ESP32 (with AsyncTCP):
// every file of ui/ at its path, gzip-compressed where that is smaller,
// revalidated by its ETag, and ui/index.html for any other path, as a
// single-page app wants.
//
// The UI is htmls.h, which tarvel writes from ui/; write it again whenever a
// file of ui/ changes:
//   Arduino IDE:  cd ui && tarvel -a -z    (htmls.h lands beside this file)
//   CMake:        tarvel_header(firmware GZIP ASSETS FOLDER ui)
#if defined(ESP8266)
#include <ESP8266WiFi.h>
#else
#include <WiFi.h>
#endif
#include <ESPAsyncWebServer.h>

#include "htmls.h"

const char *ssid = "your network", *password = "its password";
AsyncWebServer server(80);

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

// 3.x reads flash with the calls that 1.2 names _P, and deprecates those.
#if ASYNCWEBSERVER_VERSION_MAJOR >= 3
#define BEGIN_FROM_FLASH beginResponse
#else
#define BEGIN_FROM_FLASH beginResponse_P
#endif

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
void sendFile(AsyncWebServerRequest *request, const UiFile *f)
{
    bool gzip = f->gz && takesGzip(request->hasHeader("Accept-Encoding"), request->header("Accept-Encoding"));
    if (!gzip && !f->data)
        return request->send(406, "text/plain", "This file is served gzip-compressed only\n");
    bool tagged = gzip || !f->gz; // the ETag names the twin where there is one
    bool fresh = tagged && request->header("If-None-Match") == f->etag;
    AsyncWebServerResponse *r;
    if (fresh)
        r = request->beginResponse(304);
    else if (gzip)
        r = request->BEGIN_FROM_FLASH(200, f->type, f->gz, f->gz_len);
    else
        r = request->BEGIN_FROM_FLASH(200, f->type, (const uint8_t *)f->data, f->len);
    if (gzip && !fresh)
        r->addHeader("Content-Encoding", "gzip");
    if (tagged)
        r->addHeader("ETag", f->etag);
    r->addHeader("Cache-Control", "no-cache");
    r->addHeader("Vary", "Accept-Encoding");
    request->send(r);
}

void setup()
{
    Serial.begin(115200);
    WiFi.mode(WIFI_STA);
    WiFi.begin(ssid, password);
    while (WiFi.status() != WL_CONNECTED)
        delay(250);
    Serial.println(WiFi.localIP());
    for (const UiFile *f = uiFiles; f->path; f++) {
        server.on(f->path, HTTP_GET | HTTP_HEAD, [f](AsyncWebServerRequest *request) { sendFile(request, f); });
        if (!strcmp(f->path, "/")) // the UI's index.html, for every other path
            server.onNotFound([f](AsyncWebServerRequest *request) { sendFile(request, f); });
    }
    server.begin();
}

void loop() {}
