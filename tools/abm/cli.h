// The abm command line: verbs, their options and the shared reporting.
#pragma once

#include <string>
#include <vector>

namespace abm {

struct Args {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // --name=value or --flag
  bool has(const std::string& name) const;
  std::string value(const std::string& name, const std::string& fallback = "") const;
};

struct Verb {
  const char* name;
  const char* summary;
  const char* usage;         // arguments, as the usage line shows them
  size_t requiredArguments;  // positional arguments the verb needs
  int (*run)(const Args& args);
};

// Every verb the tool knows, in the order the help lists them.
const std::vector<Verb>& verbs();
const Verb* findVerb(const std::string& name);

// Splits arguments into positional ones and options.
Args parseArgs(int argc, char** argv, int first);

// Prints "abm VERB: message" to stderr; returns the exit status for a
// failed command.
int failWith(const char* verb, const std::string& message);
// Prints "abm: what: <last error of the library>" with its identifier and
// location to stderr; returns the exit status for a failed command.
int failWithLastError(const std::string& what);
// Prints a usage problem and returns the exit status for it.
int failUsage(const Verb& verb, const std::string& problem);

}  // namespace abm
