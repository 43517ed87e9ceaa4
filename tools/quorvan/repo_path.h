#pragma once
// Repository paths in the SCM's own form: folders separated by backslashes,
// "\" for the root of the view. Helpers to normalise them, to test them
// against a view path and a file pattern, and to turn them into local paths.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvr::quorvan {

// Leading "\" added, runs of "\" collapsed, a trailing "\" dropped (except
// for the root itself). "\\a.txt" -> "\a.txt", "" -> "\".
std::string NormalizeRepoPath(std::string_view path);

// Folder path and file name joined the way the listing shows them.
std::string JoinRepoPath(std::string_view folder, std::string_view file);

// True when folder is the view path itself or (when recursive) lies below it.
bool IsInView(std::string_view folder, std::string_view viewPath, bool recursive);

// The parts of a repository path below the view path, each checked to be one
// plain local name (not empty, ".", "..", and without "/"). Nullopt when the
// path is not in the view or a part is not a safe name.
std::optional<std::vector<std::string>> LocalParts(std::string_view repoPath,
                                                   std::string_view viewPath);

// Windows wildcard rules: "*" and "?", letters compared without case, and
// "*.*" matching every name whether it has a dot or not.
bool WildcardMatch(std::string_view pattern, std::string_view name);

bool EqualsNoCase(std::string_view a, std::string_view b);

// "MM/DD/YYYY HH:MM:SS" in local time.
std::string FormatListingDate(std::int64_t secondsSinceEpoch);

// Names that end up in a tab-separated line must not break it.
bool HasLineBreakingChar(std::string_view text);

}  // namespace qvr::quorvan
