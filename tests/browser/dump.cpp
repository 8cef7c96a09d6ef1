// Writes every page of a generated header, read back out of its array, into
// a folder: DIR/NAME.from_header.html for each page NAME.html.
//
//   dump DIR

#include <cstdio>
#include <string>

#include "pages.h"

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fputs("usage: dump DIR\n", stderr);
        return 2;
    }
    for (const page &p : test_pages) {
        std::string name = p.path + 1; // name.html
        std::string path =
            std::string(argv[1]) + "/" + name.substr(0, name.size() - 5) + ".from_header.html";
        FILE *f = fopen(path.c_str(), "wb");
        if (!f || fwrite(p.text, 1, p.size - 1, f) != p.size - 1 || fclose(f) != 0) {
            perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
