#pragma once
#include <filesystem>
#include <string>
#include <vector>

// WriteFileAtomically writes `fileName` + "." + six random characters and renames it over the
// target; a save that was killed midway leaves that temporary behind. Removes the regular files of
// exactly that form next to `fileName` that were last written before `olderThan` (a save running
// in another process right now is left alone) and returns their paths. Failures to remove are
// skipped: the file may have gone meanwhile.
std::vector<std::string> RemoveStaleTemporaries(const std::string& fileName,
                                                std::filesystem::file_time_type olderThan);
