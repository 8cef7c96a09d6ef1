// A stand-in for ESP8266WebServer of the ESP8266 Arduino core 3.x, with the
// overloads of what the example sketches call. Since 3.0, collectHeaders
// has a variadic form, which a count that is no size_t picks.
#pragma once
#include "FS.h"

enum HTTPMethod { HTTP_ANY, HTTP_GET, HTTP_HEAD, HTTP_POST, HTTP_PUT, HTTP_PATCH, HTTP_DELETE };

class Uri
{
  public:
    Uri(const char *uri);
    Uri(const String &uri);
    Uri(const __FlashStringHelper *uri);
};

class RequestHandler;

class ESP8266WebServer
{
  public:
    typedef Function<void(void)> THandlerFunction;
    explicit ESP8266WebServer(int port = 80);
    void begin();
    void handleClient();
    RequestHandler &on(const Uri &uri, THandlerFunction handler);
    RequestHandler &on(const Uri &uri, HTTPMethod method, THandlerFunction fn);
    RequestHandler &on(const Uri &uri, HTTPMethod method, THandlerFunction fn,
                       THandlerFunction ufn);
    template <typename... Args> void collectHeaders(const Args &...args)
    {
        String keys[] = {String(args)...};
        (void)keys;
    }
    void collectHeaders(const char *headerKeys[], const size_t headerKeysCount);
    const String &header(const String &name) const;
    const String &header(int i) const;
    bool hasHeader(const String &name) const;
    void onNotFound(THandlerFunction fn);
    HTTPMethod method();
    void setContentLength(const size_t contentLength);
    void sendContent_P(PGM_P content, size_t size);
    void sendHeader(const String &name, const String &value, bool first = false);
    void send(int code, const char *content_type = nullptr, const String &content = String());
    void send(int code, char *content_type, const String &content);
    void send(int code, const String &content_type, const String &content);
    void send(int code, const char *content_type, const char *content);
    void send(int code, const char *content_type, const char *content, size_t content_length);
    void send(int code, const char *content_type, const uint8_t *content, size_t content_length);
    void send_P(int code, PGM_P content_type, PGM_P content);
    void send_P(int code, PGM_P content_type, PGM_P content, size_t contentLength);
};
