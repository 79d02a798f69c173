#include "cli.h"

#include <cstdio>

#include "q32comm.h"

namespace abm {

namespace {
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
}  // namespace

bool Args::has(const std::string& name) const {
  for (const auto& option : options) {
    if (option.first == name) return true;
  }
  return false;
}

std::string Args::value(const std::string& name, const std::string& fallback) const {
  for (const auto& option : options) {
    if (option.first == name) return option.second;
  }
  return fallback;
}

Args parseArgs(int argc, char** argv, int first) {
  Args args;
  bool optionsEnded = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      const size_t equals = arg.find('=');
      if (equals == std::string::npos)
        args.options.emplace_back(arg.substr(2), "");
      else
        args.options.emplace_back(arg.substr(2, equals - 2), arg.substr(equals + 1));
    } else if (!optionsEnded && arg == "-h") {
      args.options.emplace_back("help", "");
    } else {
      args.positional.push_back(arg);
    }
  }
  return args;
}

int failWith(const char* verb, const std::string& message) {
  std::fprintf(stderr, "abm %s: %s\n", verb, message.c_str());
  return 1;
}

int failWithLastError(const std::string& what) {
  char text[512] = {};
  DWORD id = 0, module = 0, function = 0, step = 0;
  if (c32GetDLLErrInfo(text, sizeof text, &id, &module, &function, &step)) {
    std::fprintf(stderr, "abm: %s: %s\n", what.c_str(), text);
    std::fprintf(stderr, "abm: error %lu (module %lu, function %lu, step %lu)\n",
                 static_cast<unsigned long>(id), static_cast<unsigned long>(module),
                 static_cast<unsigned long>(function), static_cast<unsigned long>(step));
  } else {
    std::fprintf(stderr, "abm: %s failed\n", what.c_str());
  }
  return kExitFailure;
}

int failUsage(const Verb& verb, const std::string& problem) {
  std::fprintf(stderr, "abm %s: %s\nusage: abm %s %s\n", verb.name, problem.c_str(), verb.name,
               verb.usage);
  return kExitUsage;
}

}  // namespace abm
