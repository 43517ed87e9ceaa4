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

// What a shown or traced command line holds where the password stands.
inline constexpr const char* kPasswordMask = "******";

// Masks the password's text in a line a tool wrote (an error line that
// echoes an argument), as it stands and with its double quotes doubled, where
// it stands as a word of its own: not where it is part of a longer word, so a
// short password neither shows where it lies nor makes the line unreadable.
// An empty password leaves the line as it is.
void MaskPassword(std::string& line, std::string_view password);

// A tool command line filled from its template in two forms: the line that
// is started, and the same line for the trace and the messages, in which the
// password value is "******" where the template put it (whatever quoting the
// filling added). Other values that happen to hold its text are shown as
// they are: masking them would tell where the password's text lies.
class ToolCommandLine {
public:
    // values[passwordIndex] is the password; the other values are filled as
    // FormatCommandTemplate fills them.
    ToolCommandLine(std::string_view format, const std::vector<std::string>& values,
                    std::size_t passwordIndex);

    const std::string& Launched() const { return m_launched; }
    const std::string& Shown() const { return m_masked; }

    // The same change made to both forms (a file name replaced by its path,
    // an option removed, an item appended).
    template <typename Change>
    void Edit(Change change) {
        change(m_launched);
        change(m_masked);
    }

private:
    std::string m_launched;
    std::string m_masked;  // the password's own slot masked
};

// Splits a command line into arguments: blanks and tabs separate them, double
// quotes group, "" inside quotes is one quote character, and backslashes are
// ordinary characters. An argument written as "" is an empty argument.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace qvr
