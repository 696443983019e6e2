#pragma once
#include <string>
#include <string_view>

// Replaces `fileName` with `bytes` so that a crash, a full disk or a failed write never leaves a
// truncated file: the bytes go to a temporary file in the same folder, are flushed to disk and then
// renamed over the target. The previous file keeps its permissions, unless `access` is kOwnerOnly
// (files holding secrets: read and write for the owner alone, whatever they had before). Returns an
// empty string on success, otherwise the reason (the target is untouched and no temporary file is
// left).
enum class TFileAccess { kKeep, kOwnerOnly };
std::string WriteFileAtomically(const std::string& fileName, std::string_view bytes,
                                TFileAccess access = TFileAccess::kKeep);
