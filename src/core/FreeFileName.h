#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Files that users keep are never overwritten: a new file takes the first of a row of candidate
// names under which nothing exists yet.

// "dir/name.ext" -> {"dir/name", ".ext"}; a dot in a folder name is not an extension.
std::pair<std::string, std::string> SplitExtension(const std::string& name);
bool FileExists(const std::string& path);
// The first candidate(n), n = first, first + 1, ..., that names no existing file.
std::string FirstFreeFileName(const std::function<std::string(int n)>& candidate, int first);
// `wanted` when it is free, else the first free of "stem_1.ext", "stem_2.ext", ...
std::string FreeFileName(const std::string& wanted);
// For files saved together under one name with different extensions (a picture and its table):
// `stem` when no stem + extension exists, else the first such of "stem_1", "stem_2", ...
std::string FreeFileStem(const std::string& stem, const std::vector<std::string>& extensions);
