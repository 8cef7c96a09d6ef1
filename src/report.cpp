// report.cpp: prints every line of the report and keeps the exit status
// they add up to. Owns `status`.

#include "report.h"
#include "testing.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

int status; // the worst outcome reported so far

// Prints a line of the report: on standard output, but for a usage error,
// which goes to standard error. The run goes on; its exit status is the
// worst outcome reported.
void report(outcome said, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vfprintf(said == misuse ? stderr : stdout, format, args);
    va_end(args);
    status = std::max(status, static_cast<int>(said));
}

void file_error(const char *path)
{
    report(failure, "Can't open file %s\n", path);
}

// The exit status: a report that could not be written fails the run too.
int exit_status()
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("Can't write standard output\n", stderr);
        return status ? status : failure;
    }
    return status;
}

void test_forget_reports()
{
    status = 0;
}

int test_status()
{
    return status;
}
