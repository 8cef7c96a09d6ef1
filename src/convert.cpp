// convert.cpp: one file into its block: refuses the run's own files and (-a)
// those out of the tree, takes an identifier, converts a page by the line
// rules or passes a file's bytes, and ends the block. Owns no state.

#include "convert.h"

#include "delimiter.h"
#include "files.h"
#include "header.h"
#include "lines.h"
#include "options.h"
#include "read.h"
#include "record.h"
#include "replace.h"
#include "report.h"
#include "tree.h"
#include "twins.h"
#include "types.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

// Converts the whole page. Returns false when reading it failed, or when it
// changed since its delimiter was picked so that its text now holds the
// closing sequence: then the text stops short of it.
static bool convert(page &pg)
{
    new_line(pg);
    bool ok = true;
    if (pg.first < static_cast<long>(sizeof(in))) {
        convert_block(pg, in, in + pg.first);
    } else {
        long have = 0;
        size_t kept = 0;
        for (bool start = true; (have = read_block(pg.fd, have, kept, start)) > 0; start = false) {
            if (holds(in, have, pg.needle, pg.needle_len)) {
                have = -1;
                break;
            }
            convert_block(pg, in + kept, in + have);
            kept = std::min(pg.needle_len - 1, static_cast<size_t>(have));
        }
        ok = have == 0;
    }
    end_line(pg, 2, false);
    return ok;
}

// The name of the run's own file that a page is, or null: the old header
// or one of own. Read as a page, the new header would feed itself to
// itself without end.
static const char *own_file(const struct stat &page)
{
    if (!is_old_header(page))
        return own_name(page);
    keep_old_header();
    return header_name;
}

bool is_page(const char *name, long len)
{
    return strlen(name) == static_cast<size_t>(len) && len >= 5 && !strcmp(name + len - 5, ".html");
}

// Appends the bytes of the file open at fd to the header as they are, the
// array `id`, a string literal of escapes. False when reading it failed.
static bool put_bytes(int fd, const char *id)
{
    open_array(id, nullptr);
    long got;
    while ((got = read_block(fd, 0, 0, false)) > 0)
        put_file_bytes(in, got);
    close_array();
    return got == 0;
}

// Takes the identifier id for the file name, open as st; false, with a
// report, for a file that gets no block.
static bool takes(const char *name, char (&id)[id_max], const struct stat &st)
{
    const char *own = own_file(st), *away = own ? nullptr : outside_tree(name, st);
    if (own)
        report(failure, "Can't convert file %s: it is %s\n", name, own);
    else if (away)
        report(failure, "Can't convert file %s: %s\n", name, away);
    else if (!take_identifier(id))
        report(failure, "Can't convert file %s: %s is already used\n", name, id);
    else
        return true;
    return false;
}

void tarvel(const char *name, const char *made_id)
{
    page pg = {};
    struct stat st;
    char id[id_max];
    snprintf(id, sizeof(id), "%s", made_id);
    pg.fd = open_regular(name, &st);
    if (pg.fd < 0 && mode.tree && links_to_folder(name)) {
        report(failure, "Can't convert file %s: it links to a folder\n", name);
        return;
    }
    if (pg.fd < 0) {
        file_error(name);
        return;
    }
    if (!takes(name, id, st)) {
        close(pg.fd);
        return;
    }
    bool ok;
    if (!mode.tree || is_page(name, strlen(name))) {
        pg.first = read_block(pg.fd, 0, 0, false);
        ok = pg.first >= 0 && pick_delimiter(pg);
        open_array(id, pg.delim);
        if (ok)
            ok = convert(pg);
        close_array();
    } else {
        ok = put_bytes(pg.fd, id);
    }
    record_block(id, end_block(name, id, st.st_size), name);
    if (!ok)
        report(failure, "Can't read file %s\n", name);
    if (mode.tree && !type_of(name))
        report(fine, "Type of file %s unknown: served as %s\n", name, unknown_type);
    close(pg.fd);
}
