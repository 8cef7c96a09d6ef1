// types.cpp: the type a web UI's file is served as, by its extension. A new
// type is a row of `types`. Owns no state.

#include "types.h"

#include "files.h"

#include <cstring>
#include <strings.h>

// The types of the files of a web UI, by their extension, in any case.
static const struct {
    const char *extension, *type;
} types[] = {
    {"html", "text/html"},        {"htm", "text/html"},
    {"css", "text/css"},          {"js", "text/javascript"},
    {"mjs", "text/javascript"},   {"json", "application/json"},
    {"map", "application/json"},  {"webmanifest", "application/manifest+json"},
    {"svg", "image/svg+xml"},     {"png", "image/png"},
    {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},         {"webp", "image/webp"},
    {"avif", "image/avif"},       {"bmp", "image/bmp"},
    {"ico", "image/x-icon"},      {"woff", "font/woff"},
    {"woff2", "font/woff2"},      {"ttf", "font/ttf"},
    {"otf", "font/otf"},          {"eot", "application/vnd.ms-fontobject"},
    {"wasm", "application/wasm"}, {"txt", "text/plain"},
    {"csv", "text/csv"},          {"md", "text/markdown"},
    {"xml", "application/xml"},   {"pdf", "application/pdf"},
    {"zip", "application/zip"},   {"gz", "application/gzip"},
    {"mp3", "audio/mpeg"},        {"wav", "audio/wav"},
    {"ogg", "audio/ogg"},         {"mp4", "video/mp4"},
    {"webm", "video/webm"},
};
const char unknown_type[] = "application/octet-stream";

const char *type_of(const char *name)
{
    const char *dot = strrchr(name + folder_len(name), '.');
    for (const auto &t : types)
        if (dot && !strcasecmp(dot + 1, t.extension))
            return t.type;
    return nullptr;
}
