// options.h: what the command line asks of the run, which every part reads
// and options() alone writes.
#pragma once

// The run's options: -z, -a, -k.
struct run_mode {
    bool gzip; // -z: gzip twins
    bool tree; // -a: every file of the folder's tree, with its length, ETag and type
    bool keep; // -k: with -a -z, every file beside its twin
};
extern run_mode mode;

// Reads the command line into `mode`: true to go on and run. Otherwise what
// it asked for (the usage, the version, or what is wrong with it) has been
// reported. -a, -z and -k combine, once each, -k only with the other two,
// and run together as short options do (-az); no other option combines
// with another; -- ends the options.
bool options(int argc, char *argv[]);
