// main.cpp: the run: the command line, the listing, the header opened, every
// listed page into it, the list and the verdict on the header. Owns no
// state of its own; src/README.md maps the rest.

#include "convert.h"
#include "header.h"
#include "list.h"
#include "listing.h"
#include "options.h"
#include "record.h"
#include "replace.h"
#include "report.h"
#include "sizes.h"
#include "tree.h"
#include "twins.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

static const char banner[] = "--------------------------------------\n"
                             "Convert all .html files in this folder\n"
                             "to C++ raw strings and save them in the\n"
                             "parent folder as htmls.h\n"
                             "-----------------------------------------\n";

// A standard stream that the caller closed would be the first file opened,
// and the reports printed on it would land in list.txt or the header.
static bool open_std_streams()
{
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            return false;
    return true;
}

// Converts every page that the listing names into the header; with -a,
// every file of the folder's tree.
static void convert_pages()
{
    bool tree = mode.tree;
    if (tree && !find_root()) {
        report(failure, "Can't open folder .\n");
        return;
    }
    FILE *list = list_pages();
    if (!list) {
        report(failure, "Can't write file %s\n", list_name);
        return;
    }
    if (!open_header()) {
        file_error(header_name);
        fclose(list);
        return;
    }
    start_list();
    char name[name_max], id[id_max];
    int pages = 0;
    long len;
    while ((len = read_name(list, name, sizeof(name))) >= 0) {
        if (tree ? strlen(name) != static_cast<size_t>(len) : !is_page(name, len))
            continue;
        make_identifier(id, name, len);
        report(fine, "%s\n", name);
        tarvel(name, id);
        pages++;
    }
    // A listing cut short would make a header short of pages.
    bool listed = !ferror(list);
    if (!listed)
        report(failure, "Can't read file %s\n", list_name);
    report(fine, "%d files processed.\n", pages);
    if (tree)
        report_cost();
    put_list();
    end_header(listed);
    fclose(list);
}

int main(int argc, char *argv[])
{
    if (!open_std_streams())
        return failure;
    if (options(argc, argv)) {
        report(fine, "%s", banner);
        start_twins();
        // A file too large for the caller's limit fails its write instead of
        // killing the run, which then reports it; so does a report whose
        // reader went away (tarvel | head), which costs the report, not the
        // header.
        signal(SIGXFSZ, SIG_IGN);
        signal(SIGPIPE, SIG_IGN);
        catch_signals();
        add_own(STDOUT_FILENO, "standard output");
        add_own(STDERR_FILENO, "standard error");
        convert_pages();
        end_twins();
    }
    return exit_status();
}
