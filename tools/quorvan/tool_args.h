#pragma once
// Argument lists of the listing, checkout and query tools. They arrive
// already split (no shell ever sees them), so a value may hold blanks, ";",
// "$" or quotes and is always the one argument after its option.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qvr::quorvan {

struct OptionRule {
    std::string name;  // "-b"
    bool takesValue = true;
};

struct ParsedArgs {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positionals;

    bool Has(const std::string& option) const { return values.count(option) != 0; }
    std::string Value(const std::string& option, const std::string& fallback = "") const;
};

// Parses args[1..]. Option names are compared without case. Returns false
// with an error text (without the "Error: " prefix) for an unknown option, an
// option without its value, an option given twice, or too many positionals.
bool ParseToolArgs(const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
                   std::size_t maxPositionals, ParsedArgs& out, std::string& error);

// Finds the value of "-o" before anything else is checked, so that every
// later error can still be written into the output file.
bool FindOutputPath(const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
                    std::string& path, std::string& error);

// The first missing option of the list, or empty when all are there.
std::string FirstMissing(const ParsedArgs& parsed, const std::vector<std::string>& required);

}  // namespace qvr::quorvan
