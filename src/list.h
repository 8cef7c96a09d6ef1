// list.h: the list of the header's blocks, tarvel_pages or tarvel_files.
#pragma once

// With -a, starts the header so that it may be included from any number of
// source files, and more than once in one: one guard (the list's name), and
// TARVEL_DEFINE, defined where this file defines the arrays: as inline in
// C++17, or as extern before it unless the including file defines
// TARVEL_EXTERN, for declarations alone.
void start_list();

// Appends the list of blocks to the header, with -z or -a. A line of the
// record that was lost would leave the list short of a block, and so the
// header.
void put_list();
