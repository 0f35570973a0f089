#include "same_files.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The whole file, or false when it cannot be read.
bool read_file(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

bool same_files(const std::string& a, const std::string& b, int* count) {
    const std::vector<std::string> names = names_in(a);
    *count = int(names.size());
    if (names != names_in(b)) return false;
    std::string bytes_a, bytes_b;
    for (const std::string& name : names)
        if (!read_file(a + "/" + name, &bytes_a) || !read_file(b + "/" + name, &bytes_b) ||
            bytes_a != bytes_b)
            return false;
    return true;
}
