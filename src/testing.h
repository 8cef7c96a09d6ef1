// testing.h: what the tests and the fuzz target reach of tarvel, which they
// link as a library (main apart): runs of the converter inside their own
// process, each a run of its own, its header written to a file of theirs.
// Each call is defined in the file that owns what it sets.
#pragma once

#include "search.h"

// Starts a run of its own: nothing reported yet, no identifier taken, the
// new header written from its start to header_fd (-1: none yet, as before
// open_header).
void test_new_run(int header_fd);

// The exit status that the run's reports give so far (report.cpp).
int test_status();

// Is the header written so far whole (header.cpp)?
bool test_header_whole();

// Has the searches take these compares, at most the widest the processor
// has (search.cpp).
void test_use_compares(compares c);

// The owners' parts of test_new_run.
void test_forget_reports();
void test_header_to(int fd);
