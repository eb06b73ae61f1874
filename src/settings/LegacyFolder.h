#pragma once
// Folders on a share served with a legacy character set: their names are
// Shift-JIS bytes, not UTF-8.  Where the system's names are bytes, a path is
// held inside as the system's bytes, so such a folder is held as its very
// bytes, and Kesto.sys (Shift-JIS itself) holds those same bytes.

#include "settings/JobSettings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kesto {

// Whether `text` is well-formed UTF-8.
bool isUtf8Text(std::string_view text);

// Whether `value` is a folder name in Shift-JIS bytes that Kesto.sys can hold
// as it is: not UTF-8, every byte part of a Shift-JIS character, and nothing
// the file cannot keep (a line break, two spaces in a row, a space at the end).
bool isLegacyFolderBytes(std::string_view value);

// After Kesto.sys was read: where its OfiFile, decoded, names no folder but its
// bytes as they stand name one, the settings keep the bytes (and write them
// back unchanged).  A relative folder is taken from `programFolder`.
void keepLegacyFolderBytes(JobSettings& settings, const std::filesystem::path& programFolder);

} // namespace kesto
