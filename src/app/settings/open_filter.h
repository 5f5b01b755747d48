// The add dialog's filter: the pairs of description and pattern list, and
// patterns that match file names without regard to case.
#pragma once

#include <string>
#include <vector>

namespace moskvid {

// The filter as the add dialog offers it: description|patterns|... pairs.
const std::string& AddDialogFilter();

struct TFileFilter {
  std::string Description;
  std::vector<std::string> Patterns;  // "*.AVI", ... as written
};

// Splits "Description|*.A;*.B;|Other|*.*" into its pairs; empty patterns
// (a trailing ";") are dropped.
std::vector<TFileFilter> ParseFileFilter(const std::string& filter);

// A glob that matches the pattern in any case: "*.AVI" -> "*.[aA][vV][iI]".
// "*.*" becomes "*", since names without a dot are files too.
std::string CaseFreeGlob(const std::string& pattern);

// True when `fileName` matches one of the patterns, regardless of case.
bool MatchesFilter(const TFileFilter& filter, const std::string& fileName);

}  // namespace moskvid
