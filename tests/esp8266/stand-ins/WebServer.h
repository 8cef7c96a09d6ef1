// A stand-in for WebServer of the ESP32 Arduino core, with the overloads of
// what the example sketches call.
#pragma once
#include "FS.h"

enum HTTPMethod { HTTP_DELETE, HTTP_GET, HTTP_HEAD, HTTP_POST, HTTP_PUT, HTTP_ANY = 0x7f };

class Uri
{
  public:
    Uri(const char *uri);
    Uri(const String &uri);
};

class RequestHandler;

class WebServer
{
  public:
    typedef Function<void(void)> THandlerFunction;
    explicit WebServer(int port = 80);
    void begin();
    void handleClient();
    RequestHandler &on(const Uri &uri, THandlerFunction fn);
    RequestHandler &on(const Uri &uri, HTTPMethod method, THandlerFunction fn);
    RequestHandler &on(const Uri &uri, HTTPMethod method, THandlerFunction fn,
                       THandlerFunction ufn);
    void collectHeaders(const char *headerKeys[], const size_t headerKeysCount);
    String header(String name);
    String header(int i);
    bool hasHeader(String name);
    void onNotFound(THandlerFunction fn);
    HTTPMethod method();
    void setContentLength(const size_t contentLength);
    void sendContent_P(PGM_P content, size_t size);
    void sendHeader(const String &name, const String &value, bool first = false);
    void send(int code, const char *content_type = nullptr, const String &content = String());
    void send(int code, char *content_type, const String &content);
    void send(int code, const String &content_type, const String &content);
    void send(int code, const char *content_type, const char *content);
    void send_P(int code, PGM_P content_type, PGM_P content);
    void send_P(int code, PGM_P content_type, PGM_P content, size_t contentLength);
};
