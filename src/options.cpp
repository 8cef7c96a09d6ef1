// options.cpp: reads the command line into `mode`, or says what is wrong
// with it. A new option is a row of `all` and a letter that `combine`
// knows. Owns `mode`.

#include "options.h"

#include "report.h"

#include <cstring>
#include <iterator>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

run_mode mode;

static const char usage[] =
    "usage: tarvel [-a | --assets] [-z | --gzip] [-k | --keep-files]\n"
    "       tarvel -h | --help | --version\n"
    "Run in a folder of HTML pages: lists its *.html pages in list.txt and puts them\n"
    "as PROGMEM raw strings (-z: and gzip twins) in ../htmls.h, whole or not at all;\n"
    "-a: every file of the folder and its subfolders, with its type, in one list;\n"
    "-a -z: each file or its gzip twin, whichever is smaller (-k: both).\n";

// The option that the argument a is, by its letter (a, z, k, h, v), or 0
// for none: a short option (-a) or a long one (--assets).
static char option(const char *a)
{
    static const struct {
        const char *name;
        char letter;
    } all[] = {{"-a", 'a'},     {"--assets", 'a'}, {"-z", 'z'},
               {"--gzip", 'z'}, {"-k", 'k'},       {"--keep-files", 'k'},
               {"-h", 'h'},     {"--help", 'h'},   {"--version", 'v'}};
    for (const auto &o : all)
        if (!strcmp(a, o.name))
            return o.letter;
    return 0;
}

// The options that the argument a gives, by letter, into `letters`: one
// option, or the short options of a run run together (-az); none for an
// argument of no known meaning, or for one that repeats a letter (-zz).
static size_t letters_of(const char *a, char (&letters)[4])
{
    letters[0] = option(a);
    if (letters[0] || a[0] != '-' || a[1] == '-' || strlen(a) > sizeof(letters))
        return letters[0] ? 1 : 0;
    size_t n = 0;
    for (const char *p = a + 1; *p; p++) {
        char one[] = {'-', *p, '\0'};
        char o = option(one);
        if (!strchr("azk", o ? o : 'x') || memchr(letters, o, n))
            return 0;
        letters[n++] = o;
    }
    return n;
}

// Do the options of the letters o and p combine? Those of a run do, each
// given once.
static bool combine(char o, char p)
{
    return o != p && strchr("azk", o) && strchr("azk", p);
}

// Says what is wrong with an argument: that it is no option, or one that
// does not combine with the argument `with`, or a file name (an `operand`,
// after --, is one whatever it holds).
static void misused(const char *a, const char *with, bool operand = false)
{
    if (with)
        report(misuse, "tarvel: %s: does not combine with %s\n", a, with);
    else if (a[0] == '-' && a[1] && !operand)
        report(misuse, "tarvel: %s: no such option\n", a);
    else
        report(misuse, "tarvel: %s: tarvel takes no file names; run it in the folder of pages\n",
               a);
    report(misuse, "%s", usage);
}

bool options(int argc, char *argv[])
{
    mode = {};
    if (argc < 1) { // not even the program's name
        report(misuse, "%s", usage);
        return false;
    }
    // The options given so far: their letters, and the arguments they came
    // in. No more than three combine, so a fourth never gets in.
    char given[4];
    const char *in_arg[4];
    size_t count = 0;
    const char *kept = nullptr;
    bool ended = false; // by --: what follows is no option
    for (int i = 1; i < argc; i++) {
        if (!ended && !strcmp(argv[i], "--")) {
            ended = true;
            continue;
        }
        char letters[4];
        size_t n = ended ? 0 : letters_of(argv[i], letters);
        if (n == 0) {
            misused(argv[i], nullptr, ended);
            return false;
        }
        for (size_t l = 0; l < n; l++) {
            for (size_t j = 0; j < count; j++)
                if (!combine(letters[l], given[j])) {
                    misused(argv[i], in_arg[j]);
                    return false;
                }
            given[count] = letters[l], in_arg[count++] = argv[i];
            mode.gzip |= letters[l] == 'z';
            mode.tree |= letters[l] == 'a';
            kept = letters[l] == 'k' ? argv[i] : kept;
        }
    }
    mode.keep = kept;
    if (kept && !(mode.gzip && mode.tree)) {
        report(misuse, "tarvel: %s: keeps files beside their twins, with -a and -z only\n", kept);
        report(misuse, "%s", usage);
        return false;
    }
    char alone = count == 1 ? given[0] : 0;
    if (alone == 'h')
        report(fine, "%s", usage);
    else if (alone == 'v')
        report(fine, "tarvel %s\n", TARVEL_VERSION);
    return alone != 'h' && alone != 'v';
}
