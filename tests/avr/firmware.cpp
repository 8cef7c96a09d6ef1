// A tiny ATmega2560 firmware that includes a generated header with avr-libc's
// PROGMEM and prints, on its first UART, each page's name and array size and
// then every page as read back from flash. Built for the host, it prints what
// the pages must read as, for the check to compare with.

#ifdef __AVR__
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <avr/sleep.h>

static void put(char c)
{
    while (!(UCSR0A & _BV(UDRE0)))
        ;
    UDR0 = c;
}
#else
#include <stdio.h>
#define PROGMEM
#define pgm_read_byte(p) (*(p))

static void put(char c)
{
    putchar(c);
}
#endif

#include "htmls.h"

struct page {
    const char *name;
    const char *text; // in flash
    unsigned size;
};

static const page pages[] = {
    {"crlf", crlf_html, sizeof(crlf_html)},
    {"indented", indented_html, sizeof(indented_html)},
    {"script", script_html, sizeof(script_html)},
};

static void print(const char *s)
{
    while (*s)
        put(*s++);
}

static void print_flash(const char *p)
{
    for (char c; (c = pgm_read_byte(p)); p++)
        put(c);
}

static void print_number(unsigned n)
{
    char digits[6];
    int i = 0;
    do
        digits[i++] = '0' + n % 10;
    while (n /= 10);
    while (i > 0)
        put(digits[--i]);
}

int main()
{
#ifdef __AVR__
    UBRR0 = 0; // the simulator does not care how fast
    UCSR0B = _BV(TXEN0);
#endif
    for (const page &p : pages) {
        print(p.name);
        put(' ');
        print_number(p.size);
        put('\n');
    }
    print("--\n");
    for (const page &p : pages)
        print_flash(p.text);
    print("--\n");
#ifdef __AVR__
    while (!(UCSR0A & _BV(TXC0))) // the last byte out before the simulator stops
        ;
    cli();
    sleep_mode(); // asleep with interrupts off: the simulator stops here
#endif
    return 0;
}
