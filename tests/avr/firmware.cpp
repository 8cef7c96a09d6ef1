// A tiny ATmega2560 firmware that includes a header made by tarvel -z with
// avr-libc's PROGMEM, walks its list of pages, and prints, on its first
// UART, each page's array name and size and then every page as read back
// from flash. Built with TWINS, it uses the gzip twins instead, and prints
// each one's length and bytes; built with FILES, it walks the list of files
// of a header made by tarvel -a -z and prints each file's bytes likewise
// (images and fonts too), or of the twin that a file keeps alone. Either
// way it names only the arrays it uses, so
// only they may be in flash. Built for the host, it prints what the
// pages must read as, for the check to compare with.

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
    const char *name;  // the array's
    const char *text;  // in flash
    unsigned size;     // the array's
    unsigned long len; // the bytes to print
};

// clang-format off
#if defined(FILES)
// The bytes of each file, or of its twin where the file keeps its twin
// alone, are printed in hex. Each array holds a terminating zero.
#define ALONE(len, gz_len) (gz_len > 0 && len == 0)
#define FILE(path, type, data, len, gz, gz_len, etag) \
    {ALONE(len, gz_len) ? #gz : #data, ALONE(len, gz_len) ? (const char *)gz : (const char *)data, \
     static_cast<unsigned>(ALONE(len, gz_len) ? gz_len + 1 : len + 1), ALONE(len, gz_len) ? gz_len : len},
static const page all[] = {tarvel_files(FILE)};
#define HEX
#elif defined(TWINS)
// The twins' bytes are printed in hex.
#define PAGE(path, raw, gz, gz_len, etag) \
    {#gz, reinterpret_cast<const char *>(gz), sizeof(gz), gz_len},
static const page all[] = {tarvel_pages(PAGE)};
#define HEX
#else
#define PAGE(path, raw, gz, gz_len, etag) {#raw, raw, sizeof(raw), sizeof(raw) - 1},
static const page all[] = {tarvel_pages(PAGE)};
#endif
// clang-format on

// A folder's second entry, right after its index.html's: the same array.
static bool again(const page &p)
{
    return &p != all && p.text == (&p)[-1].text;
}

static void print(const char *s)
{
    while (*s)
        put(*s++);
}

static void print_number(unsigned long n)
{
    char digits[11];
    int i = 0;
    do
        digits[i++] = '0' + n % 10;
    while (n /= 10);
    while (i > 0)
        put(digits[--i]);
}

static void print_flash(const page &p)
{
#ifdef HEX
    print_number(p.len);
    put(':');
    for (unsigned long i = 0; i < p.len; i++) {
        unsigned char c = pgm_read_byte(p.text + i);
        put("0123456789abcdef"[c >> 4]);
        put("0123456789abcdef"[c & 15]);
    }
    put('\n');
#else
    for (unsigned long i = 0; i < p.len; i++)
        put(pgm_read_byte(p.text + i));
#endif
}

int main()
{
#ifdef __AVR__
    UBRR0 = 0; // the simulator does not care how fast
    UCSR0B = _BV(TXEN0);
#endif
    for (const page &p : all) {
        if (again(p))
            continue;
        print(p.name);
        put(' ');
        print_number(p.size);
        put('\n');
    }
    print("--\n");
    for (const page &p : all)
        if (!again(p))
            print_flash(p);
    print("--\n");
#ifdef __AVR__
    while (!(UCSR0A & _BV(TXC0))) // the last byte out before the simulator stops
        ;
    cli();
    sleep_mode(); // asleep with interrupts off: the simulator stops here
#endif
    return 0;
}
