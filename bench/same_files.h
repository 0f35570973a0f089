// Whether two directories of card files hold the same names with the same bytes.
#pragma once

#include <string>

// Compares every entry of `a` with the entry of the same name in `b`
// and checks that `b` has no others. Sets *count to the entries of `a`.
bool same_files(const std::string& a, const std::string& b, int* count);
