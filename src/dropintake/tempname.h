#pragma once

// Moving users' files: temporary names beside the file, and renames that
// never replace anything.

#include <string>

namespace quaylet {

// The first free "TempFile_<n><extension>" in the folder of path (n from 1,
// the extension kept with its case). A relative path is taken from the
// current directory. Paths of any length are kept whole.
std::string MakeTempName(const std::string& path);

// Renames from to to unless something already exists at to (the rename then
// fails with EEXIST). False with errno set on failure.
bool RenameNoReplace(const std::string& from, const std::string& to);

} // namespace quaylet
