// abm: album files from the shell.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"

namespace abm {

namespace {

void printHelp() {
  std::printf("usage: abm VERB [OPTIONS] ARGS...\n\nVerbs:\n");
  for (const Verb& verb : verbs()) {
    const std::string summary = verb.summary;
    std::printf("  %-10s %s\n", verb.name, summary.substr(0, summary.find('\n')).c_str());
  }
  std::printf(
      "\n'abm VERB --help' describes one verb. A failing command prints the library's\n"
      "error (text, identifier, module, function and step) and exits with status 1.\n");
}

void printVerbHelp(const Verb& verb) {
  std::printf("usage: abm %s %s\n\n%s\n", verb.name, verb.usage, verb.summary);
}

}  // namespace

}  // namespace abm

int main(int argc, char** argv) {
  using namespace abm;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
      std::strcmp(argv[1], "help") == 0) {
    printHelp();
    return argc < 2 ? 2 : 0;
  }
  for (const Verb& verb : verbs()) {
    if (verb.name != std::string(argv[1])) continue;
    const Args args = parseArgs(argc, argv, 2);
    if (args.has("help")) {
      printVerbHelp(verb);
      return 0;
    }
    if (args.positional.size() < verb.requiredArguments)
      return failUsage(verb, "missing arguments");
    return verb.run(args);
  }
  std::fprintf(stderr, "abm: unknown verb '%s' (see 'abm --help')\n", argv[1]);
  return 2;
}
