#pragma once
// Building and splitting the SCM tools' command lines.
//
// Templates are printf-style texts in which only "%s" is a placeholder.
// Filling one never reads past its values: a template with fewer "%s" than
// values ignores the extra values, one with more "%s" fills the missing ones
// with empty text. "%%" stands for one "%"; any other "%" (also a "%" at the
// very end) is copied as it stands, so a template typed by the user can never
// make the program read something it was not given.

#include <string>
#include <string_view>
#include <vector>

namespace qvr {

// Fills a command template so that every value stays one argument when the
// line is split again: inside a quoted placeholder ("%s") an inner double
// quote is doubled; an unquoted placeholder gets a value holding a blank, a
// tab or a double quote wrapped in double quotes (inner quotes doubled).
// Other values are inserted unchanged.
std::string FormatCommandTemplate(std::string_view format, const std::vector<std::string>& values);

// Fills a template with the values as they are (for texts that are not
// command lines, such as an SQL statement).
std::string FormatPlainTemplate(std::string_view format, const std::vector<std::string>& values);

// Replaces every occurrence of fileName in commandLine by path. A path with a
// blank, tab or quote that lands outside double quotes is quoted, so it stays
// one argument.
std::string ReplaceFileName(std::string_view commandLine, std::string_view fileName,
                            std::string_view path);

// The value with every double quote doubled, for use inside double quotes.
std::string DoubleQuotes(std::string_view value);

// The value as one argument of a command line (quoted when needed).
std::string QuoteArgument(std::string_view value);

// Splits a command line into arguments: blanks and tabs separate them, double
// quotes group, "" inside quotes is one quote character, and backslashes are
// ordinary characters. An argument written as "" is an empty argument.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace qvr
