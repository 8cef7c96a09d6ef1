// A stand-in for the WiFi of the ESP8266 (ESP8266WiFi.h) and ESP32 (WiFi.h)
// Arduino cores, as far as the example sketches join a network.
#pragma once
#include "Arduino.h"

enum WiFiMode_t { WIFI_OFF, WIFI_STA, WIFI_AP, WIFI_AP_STA };
enum wl_status_t { WL_IDLE_STATUS, WL_CONNECTED = 3, WL_DISCONNECTED = 6 };

class IPAddress
{
  public:
    operator uint32_t() const;
};

class WiFiClass
{
  public:
    bool mode(WiFiMode_t mode);
    wl_status_t begin(const char *ssid, const char *passphrase = nullptr);
    wl_status_t status();
    IPAddress localIP();
};
extern WiFiClass WiFi;
