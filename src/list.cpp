// list.cpp: the list of blocks that ends the header with -z or -a, made
// from the record. Owns no state.

#include "list.h"

#include "files.h"
#include "header.h"
#include "options.h"
#include "record.h"
#include "types.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// The header ends in the list of its blocks, an X-macro that a firmware
// expands into the table or the handlers it needs. With -z:
//
//   #define tarvel_pages(PAGE) (backslash)
//       PAGE("/a.html", a_html, a_html_gz, a_html_gz_len, a_html_etag) (backslash)
//       PAGE("/b.html", b_html, nullptr, 0, nullptr)
//
// With -a, every file's type, its length and its ETag too:
//
//   #define tarvel_files(FILE) (backslash)
//       FILE("/index.html", "text/html", index_html, index_html_len, (backslash)
//            index_html_gz, index_html_gz_len, index_html_etag) ... (one line)
//       FILE("/", "text/html", index_html, ...) (backslash)
//       FILE("/img/a.png", "image/png", img_a_png, img_a_png_len, nullptr, 0, img_a_png_etag)
//
// Every block has an entry, in header order, made from the record: its URL
// path, "/" and the file's name, and the names of its arrays, nullptr and
// 0 for an array that the block did not keep, its own or its twin (with -z
// alone, the ETag's too). A
// folder's index.html has a second entry at the folder's own path. A
// firmware that uses only some of the arrays links only those.

// Appends the entry of the block id of the file name, at the path "/" and
// the first len bytes of the name; `kept` is what the block kept
// (end_block).
static void put_entry(const char *id, char kept, const char *name, size_t len)
{
    char e[entry_max];
    size_t n = strlen(strcpy(e, mode.tree ? " \\\r\n    FILE(\"/" : " \\\r\n    PAGE(\"/"));
    for (size_t i = 0; i < len; i++)
        n += escape(static_cast<unsigned char>(name[i]), e + n);
    const char *type = type_of(name);
    n += snprintf(e + n, sizeof(e) - n, mode.tree ? "\", \"%s\", " : "\", ",
                  type ? type : unknown_type);
    n += snprintf(e + n, sizeof(e) - n,
                  kept == 'z' ? "nullptr, 0, "
                  : mode.tree ? "%s, %s_len, "
                              : "%s, ",
                  id, id);
    n += snprintf(e + n, sizeof(e) - n,
                  kept != '-' ? "%s_gz, %s_gz_len, %s_etag)"
                  : mode.tree ? "nullptr, 0, %s_etag)"
                              : "nullptr, 0, nullptr)",
                  id, id, id);
    put(e, std::min(n, sizeof(e) - 1));
}

void start_list()
{
    if (mode.tree)
        put_string("#ifndef tarvel_files\r\n"
                   "#if __cplusplus >= 201703L\r\n"
                   "#define TARVEL_DEFINE inline\r\n"
                   "#elif !defined(TARVEL_EXTERN)\r\n"
                   "#define TARVEL_DEFINE extern\r\n"
                   "#endif\r\n");
}

void put_list()
{
    if (!mode.gzip && !mode.tree)
        return;
    put_string(mode.tree ? "#define tarvel_files(FILE)" : "#define tarvel_pages(PAGE)");
    record_lines([](const char *line, size_t len) {
        char id[id_max], name[name_max];
        int id_len = static_cast<int>(strcspn(line, " "));
        snprintf(id, sizeof(id), "%.*s", id_len, line);
        snprintf(name, sizeof(name), "%.*s", static_cast<int>(len) - id_len - 3, line + id_len + 3);
        char kept = line[id_len + 1];
        put_entry(id, kept, name, strlen(name));
        int folder = folder_len(name);
        if (mode.tree && !strcmp(name + folder, "index.html"))
            put_entry(id, kept, name, folder);
    });
    put_string(mode.tree ? "\r\n#undef TARVEL_DEFINE\r\n#endif\r\n" : "\r\n");
    if (record_is_lost())
        text_lost();
}
