// The rules of a block, restated plainly from the page's bytes, as the
// fuzz target and the sweep over block ends check tarvel against them: no
// speed, no blocks, no state across reads.
#ifndef TARVEL_RESTATE_H
#define TARVEL_RESTATE_H

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace restate
{

using std::string;

// Which bytes of the page lie in preformatted text: inside[i] when an open
// tag of pre, listing, textarea or xmp ended its name before byte i and was
// not closed since. Inside textarea and xmp only their own end tag counts.
inline std::vector<bool> preformatted(const string &page)
{
    struct tag {
        size_t name_end; // the byte after the name
        string name;
        bool end;
    };
    std::vector<tag> tags;
    for (size_t i = 0; i < page.size(); i++) {
        if (page[i] != '<')
            continue;
        size_t j = i + 1;
        bool end = j < page.size() && page[j] == '/';
        j += end;
        string name;
        for (; j < page.size() && isalpha(static_cast<unsigned char>(page[j])); j++)
            name += static_cast<char>(tolower(static_cast<unsigned char>(page[j])));
        bool known = name == "pre" || name == "listing" || name == "textarea" || name == "xmp";
        if (known && j < page.size() && page[j] != '\0' && strchr("\t\n\f\r />", page[j]))
            tags.push_back({j, name, end});
    }
    std::vector<bool> inside(page.size());
    size_t depth = 0, next = 0;
    string raw;
    for (size_t i = 0; i < page.size(); i++) {
        for (; next < tags.size() && tags[next].name_end < i; next++) {
            const tag &t = tags[next];
            if (!raw.empty())
                raw = t.end && t.name == raw ? "" : raw;
            else if (t.name == "textarea" || t.name == "xmp")
                raw = t.end ? "" : t.name;
            else if (!t.end)
                depth++;
            else if (depth > 0)
                depth--;
        }
        inside[i] = depth > 0 || !raw.empty();
    }
    return inside;
}

// The page's text as it must stand in the raw string: lines end at LF, a
// line loses one CR before its LF (up to two at the end of the page). A line
// that starts in preformatted text is written as it is left, with CR LF.
// Elsewhere a line left empty is dropped, and any other line loses its
// leading spaces, tabs and CRs and gets CR LF.
inline string expected_text(const string &page)
{
    std::vector<bool> inside = preformatted(page);
    string text;
    for (size_t start = 0; start < page.size();) {
        size_t lf = page.find('\n', start);
        bool last = lf == string::npos;
        string line = page.substr(start, last ? string::npos : lf - start);
        for (int i = 0; i < (last ? 2 : 1) && !line.empty() && line.back() == '\r'; i++)
            line.pop_back();
        if (inside[start]) {
            text += line + "\r\n";
        } else if (!line.empty()) {
            size_t indent = line.find_first_not_of(" \t\r");
            text += (indent == string::npos ? "" : line.substr(indent)) + "\r\n";
        }
        start = last ? page.size() : lf + 1;
    }
    return text;
}

// The first of "", html, html1, html2, ... that the page never closes with.
inline string expected_delimiter(const string &page)
{
    string delim;
    for (unsigned k = 0; page.find(")" + delim + "\"") != string::npos; k++)
        delim = "html" + (k ? std::to_string(k) : "");
    return delim;
}

} // namespace restate

#endif
