#pragma once
#include "WiFi.h" // the ESP8266 core's name for it
