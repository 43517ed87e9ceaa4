#pragma once
// What every stand-in tool takes from its environment: where the brokers'
// databases live, the test hooks QUORVAN_DELAY_MS and QUORVAN_RECORD_ARGV, and
// the name of the person running an administrative command.

#include <string>
#include <vector>

namespace qvr::quorvan {

// $QUORVAN_HOME, else $HOME/.quorvan.
std::string QuorvanHome();

// A broker name becomes a file name, so it must stay one plain name: no
// separators, no "." or "..", nothing empty. Returns false with a reason.
bool IsValidBrokerName(const std::string& broker, std::string& reason);

// <home>/<broker>.qvrdb (the name must have been checked first).
std::string BrokerFile(const std::string& broker);

// Appends every argument, one a line, then "--", to $QUORVAN_RECORD_ARGV.
void RecordArgv(const std::vector<std::string>& args);

// Sleeps $QUORVAN_DELAY_MS milliseconds, when set to a number.
void ApplyDelay();

// $USER, else $LOGNAME, else "qvradmin".
std::string CurrentUserName();

}  // namespace qvr::quorvan
