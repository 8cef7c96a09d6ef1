// Reads the arrays of the header that the build generated from the pages in
// consumer/, as firmware would. A compiler reads the header's CR LF inside a
// raw string as one newline, so each page's text has plain newlines here.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "htmls.h"
#include "long_line.h" // LONG_PIECE and LONG_COUNT, of which long.html is made

namespace
{

std::string long_line()
{
    std::string s;
    for (int i = 0; i < LONG_COUNT; i++)
        s += LONG_PIECE;
    return s;
}

TEST(consumer, arrays_hold_the_pages)
{
    struct {
        const char *name;
        const char *array;
        size_t size;
        std::string text;
    } pages[] = {
        {"indented", indented_html, sizeof(indented_html),
         "<!DOCTYPE html>\n<html>\n<body>\n<h1>Status</h1>\n<p>tab indented</p>   \n</body>\n"
         "</html>\n"},
        {"crlf", crlf_html, sizeof(crlf_html), "<p>\nCR LF lines\n</p>\n"},
        {"script", script_html, sizeof(script_html),
         "<form>\n<input id=\"ssid\" name=\"ssid\">\n"
         "<button type=\"button\" onclick=\"save()\">Save</button>\n</form>\n<script>\n"
         "// a closing sequence the tool must step around\nvar end = ')html\"';\n"
         "function save() { fetch(\"/save?ssid=\" + "
         "document.getElementById(\"ssid\").value); }\n</script>\n"},
        {"long", long_html, sizeof(long_html), "<p>" + long_line() + "</p>\n"},
    };
    for (const auto &p : pages) {
        EXPECT_EQ(p.array, p.text) << p.name;
        EXPECT_EQ(p.size, p.text.size() + 1) << p.name << ": nothing after the text";
    }
}

} // namespace
