// An Arduino Uno sketch that serves nothing, but walks the list of pages of
// the header that tarvel -z wrote beside it (from the pages in its html/
// folder), as a firmware registering its pages does: it prints each page's
// path, the page as read back from flash, and the length and a checksum of
// its gzip twin read from flash with pgm_read_byte. print_page is defined
// below its first use, so the build's prototype generation must read the
// header.

#include "htmls.h"
#ifdef __AVR__
#include <avr/sleep.h>
#endif

struct page {
    const char *path;
    const char *text;
    const unsigned char *gz;
    unsigned long gz_len;
};

#define PAGE(path, raw, gz, gz_len, etag) {path, raw, gz, gz_len},
const page pages[] = {tarvel_pages(PAGE){nullptr, nullptr, nullptr, 0}};

void setup()
{
    Serial.begin(115200);
    for (const page *p = pages; p->path; p++)
        print_page(*p);
    Serial.println("--");
    stop();
}

void loop()
{
}

void print_page(const page &p)
{
    Serial.println(p.path);
    for (const char *c = p.text; pgm_read_byte(c); c++)
        Serial.write(pgm_read_byte(c));
    unsigned long sum = 0;
    for (unsigned long i = 0; i < p.gz_len; i++)
        sum = (sum * 31 + pgm_read_byte(p.gz + i)) % 1000003;
    Serial.print(p.gz_len);
    Serial.print(' ');
    Serial.println(sum);
}

// On the board, waits for the last byte to go out, then sleeps with
// interrupts off, where the simulator stops.
void stop()
{
#ifdef __AVR__
    Serial.flush();
    cli();
    sleep_mode();
#endif
}
