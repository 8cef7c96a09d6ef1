// Reads every entry of the list of files of a header that the build made
// with tarvel -a (and -z, where it defines TWINS) out of the folder TREE,
// as a firmware serves it, and holds it against the folder's files: the
// same paths in byte order, each file's bytes (a page's text by the line
// rules), twins that inflate to them and are smaller, ETags of what is
// served, and each folder's index.html at the folder's path. With -z, a
// file whose twin is smaller keeps its twin alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "gunzip.h"
#include "htmls.h"
#include "restate.h"

namespace
{

namespace fs = std::filesystem;
using std::string;

struct file {
    const char *path, *type, *data;
    size_t size; // the array's, its terminating zero included
    unsigned long len;
    const unsigned char *gz;
    unsigned long gz_len;
    const char *etag;
};

// The size of an array, or 0 where the list has nullptr: a file kept as
// its twin alone.
template <size_t n> constexpr size_t size_of(const char (&)[n])
{
    return n;
}
[[maybe_unused]] constexpr size_t size_of(std::nullptr_t)
{
    return 0;
}

// The lengths go through a template argument: they must be constant
// expressions.
#define ROW(path, type, data, len, gz, gz_len, etag)                                               \
    {path,                                                                                         \
     type,                                                                                         \
     data,                                                                                         \
     size_of(data),                                                                                \
     std::integral_constant<unsigned long, len>::value,                                            \
     gz,                                                                                           \
     std::integral_constant<unsigned long, gz_len>::value,                                         \
     etag},
const file files[] = {tarvel_files(ROW)};
#undef ROW

bool is_folder(const file &f)
{
    return f.path[strlen(f.path) - 1] == '/';
}

string on_disk(const string &path)
{
    std::ifstream in(string(TREE) + path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// What the entry must serve: the file's bytes, or a page's text as a
// compiler reads it (each CR LF a LF).
string served(const file &f)
{
    string path = f.path, bytes = on_disk(path);
    if (path.size() < 5 || path.compare(path.size() - 5, 5, ".html") != 0)
        return bytes;
    string text = restate::expected_text(bytes), read;
    for (size_t i = 0; i < text.size(); i++)
        if (text.compare(i, 2, "\r\n") != 0)
            read += text[i];
    return read;
}

string quoted_crc(const void *p, size_t n)
{
    char etag[16];
    snprintf(etag, sizeof(etag), "\"%08lx\"", crc32(0, static_cast<const Bytef *>(p), n));
    return etag;
}

TEST(files, are_the_tree_in_byte_order)
{
    std::vector<string> tree, listed;
    for (auto it = fs::recursive_directory_iterator(TREE); it != fs::end(it); ++it) {
        string name = it->path().filename();
        if (name[0] == '.')
            it.disable_recursion_pending();
        else if (it->is_regular_file())
            tree.push_back("/" + fs::relative(it->path(), TREE).string());
    }
    std::sort(tree.begin(), tree.end());
    for (const file &f : files)
        if (!is_folder(f))
            listed.push_back(f.path);
    EXPECT_EQ(listed, tree);
}

TEST(files, hold_their_bytes)
{
    for (const file &f : files) {
        if (is_folder(f) || !f.data)
            continue; // its index.html's, or its twin alone
        EXPECT_EQ(string(f.data, f.len), served(f)) << f.path;
        EXPECT_EQ(f.size, f.len + 1) << f.path;
        EXPECT_NE(f.type, nullptr) << f.path;
    }
}

// A file keeps its twin alone where the twin is smaller, and no file both.
TEST(files, twins_inflate_to_them_and_are_smaller)
{
    int twins = 0;
    for (const file &f : files) {
        if (!f.gz || is_folder(f))
            continue;
        bool ok;
        string text = served(f);
        EXPECT_EQ(gunzip(f.gz, f.gz_len, ok), text) << f.path;
        EXPECT_TRUE(ok) << f.path;
        EXPECT_LT(f.gz_len, text.size()) << f.path;
        EXPECT_TRUE(!f.data && f.len == 0 && f.size == 0) << f.path << ": kept beside its twin";
        twins++;
    }
#ifdef TWINS
    EXPECT_GT(twins, 0);
#else
    EXPECT_EQ(twins, 0);
#endif
}

TEST(files, etags_name_what_is_served)
{
    for (const file &f : files)
        EXPECT_EQ(f.etag, f.gz ? quoted_crc(f.gz, f.gz_len) : quoted_crc(f.data, f.len)) << f.path;
}

TEST(files, folders_serve_their_index)
{
    int folders = 0;
    for (const file &f : files) {
        if (!is_folder(f))
            continue;
        string index = string(f.path) + "index.html";
        auto it = std::find_if(std::begin(files), std::end(files),
                               [&](const file &g) { return index == g.path; });
        ASSERT_NE(it, std::end(files)) << f.path;
        EXPECT_EQ(it->data, f.data);
        EXPECT_EQ(it->gz, f.gz);
        EXPECT_STREQ(f.type, "text/html");
        folders++;
    }
    EXPECT_EQ(folders, 2);
}

} // namespace
