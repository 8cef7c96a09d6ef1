// A stand-in for ESPAsyncWebServer, with the overloads of what the example
// sketches call: of version 1.2 (me-no-dev), or of 3.x (ESP32Async) where
// ASYNC_3 is defined. 3.x marks the _P calls deprecated: those of bytes
// everywhere, those of a PGM_P but on the ESP8266.
#pragma once
#include "FS.h"

typedef uint8_t WebRequestMethodComposite;
enum {
    HTTP_GET = 0b00000001,
    HTTP_POST = 0b00000010,
    HTTP_HEAD = 0b00100000,
    HTTP_ANY = 0b01111111
};

class AsyncWebServerRequest;
class AsyncWebHeader;
class AsyncCallbackWebHandler;
typedef Function<void(AsyncWebServerRequest *request)> ArRequestHandlerFunction;
typedef Function<String(const String &)> AwsTemplateProcessor;

#ifdef ASYNC_3
#define ASYNCWEBSERVER_VERSION_MAJOR 3
#endif

#ifdef ASYNC_3
#define DEPRECATED_BYTES_P [[deprecated("Replaced by the call without _P")]]
#else
#define DEPRECATED_BYTES_P
#endif
#if defined(ASYNC_3) && !defined(ESP8266)
#define DEPRECATED_P [[deprecated("Replaced by the call without _P")]]
#else
#define DEPRECATED_P
#endif

class AsyncWebServerResponse
{
  public:
    virtual ~AsyncWebServerResponse();
    virtual void addHeader(const String &name, const String &value);
};

class AsyncWebServerRequest
{
  public:
    void send(AsyncWebServerResponse *response);
#ifdef ASYNC_3
    void send(int code, const char *contentType = "", const char *content = "",
              AwsTemplateProcessor callback = nullptr);
    void send(int code, const String &contentType, const char *content = "",
              AwsTemplateProcessor callback = nullptr);
    void send(int code, const String &contentType, const String &content,
              AwsTemplateProcessor callback = nullptr);
    void send(int code, const char *contentType, const uint8_t *content, size_t len,
              AwsTemplateProcessor callback = nullptr);
    void send(int code, const String &contentType, const uint8_t *content, size_t len,
              AwsTemplateProcessor callback = nullptr);
    AsyncWebServerResponse *beginResponse(int code, const char *contentType = "",
                                          const char *content = "",
                                          AwsTemplateProcessor callback = nullptr);
    AsyncWebServerResponse *beginResponse(int code, const String &contentType,
                                          const String &content,
                                          AwsTemplateProcessor callback = nullptr);
    AsyncWebServerResponse *beginResponse(int code, const char *contentType, const uint8_t *content,
                                          size_t len, AwsTemplateProcessor callback = nullptr);
    AsyncWebServerResponse *beginResponse(int code, const String &contentType,
                                          const uint8_t *content, size_t len,
                                          AwsTemplateProcessor callback = nullptr);
    bool hasHeader(const char *name) const;
#else
    void send(int code, const String &contentType = String(), const String &content = String());
    AsyncWebServerResponse *beginResponse(int code, const String &contentType = String(),
                                          const String &content = String());
#endif
    DEPRECATED_BYTES_P void send_P(int code, const String &contentType, const uint8_t *content,
                                   size_t len, AwsTemplateProcessor callback = nullptr);
    DEPRECATED_P void send_P(int code, const String &contentType, PGM_P content,
                             AwsTemplateProcessor callback = nullptr);
    DEPRECATED_BYTES_P AsyncWebServerResponse *
    beginResponse_P(int code, const String &contentType, const uint8_t *content, size_t len,
                    AwsTemplateProcessor callback = nullptr);
    DEPRECATED_P AsyncWebServerResponse *beginResponse_P(int code, const String &contentType,
                                                         PGM_P content,
                                                         AwsTemplateProcessor callback = nullptr);
    bool hasHeader(const String &name) const;
    bool hasHeader(const __FlashStringHelper *data) const;
    AsyncWebHeader *getHeader(const String &name) const;
    const String &header(const char *name) const;
    const String &header(const __FlashStringHelper *data) const;
    const String &header(size_t i) const;
};

class AsyncWebServer
{
  public:
    AsyncWebServer(uint16_t port);
    void begin();
    AsyncCallbackWebHandler &on(const char *uri, ArRequestHandlerFunction onRequest);
    AsyncCallbackWebHandler &on(const char *uri, WebRequestMethodComposite method,
                                ArRequestHandlerFunction onRequest);
    void onNotFound(ArRequestHandlerFunction fn);
};
