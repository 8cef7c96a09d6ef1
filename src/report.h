// report.h: the report on standard output (usage errors on standard error)
// and the exit status it gives.
#pragma once

// What a line of the report says of the run: the exit status it gives.
enum outcome { fine = 0, failure = 1, misuse = 2 };

// Prints a line of the report: on standard output, but for a usage error,
// which goes to standard error. The run goes on; its exit status is the
// worst outcome reported.
__attribute__((format(printf, 2, 3))) void report(outcome said, const char *format, ...);

// "Can't open file PATH": the one message for a file that cannot be opened.
void file_error(const char *path);

// The exit status: a report that could not be written fails the run too.
int exit_status();
