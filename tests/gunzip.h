// Inflates one gzip member with zlib, for the tests of tarvel -z.
#pragma once

#include <string>
#include <zlib.h>

// The bytes that the n bytes at p inflate to. ok is set when they hold
// exactly one gzip member and nothing after it.
inline std::string gunzip(const unsigned char *p, size_t n, bool &ok)
{
    z_stream z = {};
    ok = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK; // gzip only
    std::string text;
    z.next_in = const_cast<unsigned char *>(p);
    z.avail_in = static_cast<uInt>(n);
    int r = Z_OK;
    while (ok && r == Z_OK) {
        unsigned char chunk[1 << 14];
        z.next_out = chunk;
        z.avail_out = sizeof(chunk);
        r = inflate(&z, Z_NO_FLUSH);
        text.append(reinterpret_cast<char *>(chunk), sizeof(chunk) - z.avail_out);
    }
    ok = ok && r == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return text;
}
