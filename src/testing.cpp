// testing.cpp: a run of its own inside a test's process (testing.h). Owns
// no state: it calls on the owners of the run's.

#include "testing.h"

#include "record.h"

void test_new_run(int header_fd)
{
    test_forget_reports();
    forget_identifiers();
    test_header_to(header_fd);
}
