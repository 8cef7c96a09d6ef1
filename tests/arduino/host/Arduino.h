// Just enough of the Arduino core to build a test sketch for the host, where
// Serial prints on standard output and flash is plain memory.
#pragma once

#include <stddef.h>
#include <stdio.h>

#define PROGMEM
#define pgm_read_byte(p) (*reinterpret_cast<const unsigned char *>(p))

struct host_serial {
    void begin(unsigned long) {}
    void write(char c) { putchar(c); }
    void print(const char *s) { fputs(s, stdout); }
    void print(char c) { putchar(c); }
    void print(unsigned long n) { printf("%lu", n); }
    void println(const char *s) { printf("%s\r\n", s); }
    void println(unsigned long n) { printf("%lu\r\n", n); }
    void flush() { fflush(stdout); }
};
extern host_serial Serial;

void setup();
void loop();
