// The export of pathremove, the uninstaller's half of brindle: takes the
// package's entry lines out of pathdef.m again, however MATLAB's savepath
// has laid them out since.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(_WIN32)
#  define PATHREMOVE_EXPORT __declspec(dllexport)
#  define PATHREMOVE_CALL __cdecl
#else
#  define PATHREMOVE_EXPORT __attribute__((visibility("default")))
#  define PATHREMOVE_CALL
#endif

// Removes from `definitionFolder` + "pathdef.m" every entry line that names
// `packageFolder` or one of its subfolders samples, trim, util and fgutil.
// `definitionFolder` is empty or ends with a backslash, as for SetMatlabPath.
// Returns the number of lines removed (0: the file is left untouched), or
// -1 when the file cannot be read or replaced; it is then as it was.
extern "C" PATHREMOVE_EXPORT std::int32_t PATHREMOVE_CALL RemoveMatlabPath(const char* packageFolder,
                                                                          const char* definitionFolder);

// As RemoveMatlabPath, but keeps the first lines of each folder that `keep`
// counts (four bits a folder, the package folder lowest, then samples, trim,
// util, fgutil): the entries a user had before the install, which
// CountMatlabPathEntries counted then.
extern "C" PATHREMOVE_EXPORT std::int32_t PATHREMOVE_CALL RemoveMatlabPathKeeping(const char* packageFolder,
                                                                                  const char* definitionFolder,
                                                                                  std::int32_t keep);

// How many entry lines of each of the package's five folders pathdef.m
// holds, packed as RemoveMatlabPathKeeping takes them (at most 15 each), or
// -1 when the file cannot be read.
extern "C" PATHREMOVE_EXPORT std::int32_t PATHREMOVE_CALL CountMatlabPathEntries(const char* packageFolder,
                                                                                 const char* definitionFolder);

// The FNV-1a hash (32 bits) of the file's bytes, its top bit cleared (1
// for a hash of 0), so that it reads as a positive number: how an upgrade
// tells a shipped file from one the user edited (scripts/nsis_files.py
// hashes the shipped files the same way). 0 when the file cannot be read.
extern "C" PATHREMOVE_EXPORT std::int32_t PATHREMOVE_CALL FileHash(const char* path);

// 1 when the two files hold the same bytes, 0 when they differ, -1 when
// either cannot be read: the setup's take-back restores pathdef.m from
// pathdef.old only when a failed update changed it.
extern "C" PATHREMOVE_EXPORT std::int32_t PATHREMOVE_CALL FilesEqual(const char* first, const char* second);

namespace pathremove {

constexpr std::size_t maxFileSize = 64u << 20;  // far above any path definition
constexpr std::size_t entryFolderCount = 5;       // the package folder, samples, trim, util, fgutil

// Entry lines of each of the five folders, in that order.
using EntryCounts = std::array<std::size_t, entryFolderCount>;

// `text` without the entry lines of `packageFolder`'s five folders, but for
// the first `keep` of each; `removed` counts the lines taken out.
// An entry line is a quoted folder, ended by ';' inside the quotes or not,
// then optionally a comma and the continuation "...", with blanks anywhere
// between; folders compare as Windows compares them (case-insensitive
// ASCII, '\' and '/' alike, no trailing separator).
std::string withoutEntries(std::string_view text, std::string_view packageFolder, std::size_t& removed,
                           EntryCounts keep = {});

// The entry lines of each of `packageFolder`'s five folders in `text`.
EntryCounts countEntries(std::string_view text, std::string_view packageFolder);

// Counts as the exports take them, four bits a folder (capped at 15), and back.
std::int32_t packed(const EntryCounts& counts);
EntryCounts unpacked(std::int32_t word);

// Replaces `path` with `text`: written beside it, then moved over it, so that
// a failed step leaves the old file whole. False on failure.
bool replaceFile(const std::string& path, std::string_view text);

// The platform's move of `from` over `to`; false on failure.
bool moveOver(const std::string& from, const std::string& to);

}  // namespace pathremove
