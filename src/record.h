// record.h: the identifiers of the arrays, and the record of the blocks
// written, which the list of blocks is made from.
#pragma once

#include "sizes.h"

#include <cstddef>

// Makes the array name from a file's name: every byte that is not an ASCII
// letter, digit or _ becomes _, as xxd -i does, and a leading digit gets
// one _ in front (a-b.html gives a_b_html, img/logo.png img_logo_png). Old
// compilers take no other byte in a name.
void make_identifier(char *id, const char *name, size_t len);

// Records the block id of the file name, with what it kept (end_block).
void record_block(const char *id, char kept, const char *name);

// Takes the identifier id for a block, as the run has it: with -a, the
// lowest free of id, id_2, id_3 ... (id holds the one taken); else id
// alone. False when it is taken, by C++ or by a block earlier in the run,
// or one that it would clash with.
bool take_identifier(char (&id)[id_max]);

// Calls each(line, len) for the lines of the record in turn, each without
// its line feed: the identifier, what its block kept and the file's name.
void record_lines(void (*each)(const char *line, size_t len));

// Was a line of the record lost? Then a list made from it is short.
bool record_is_lost();

// Forgets every identifier taken, for a test that converts many pages as
// runs of their own.
void forget_identifiers();
