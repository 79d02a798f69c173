// rcgen: turns the resource script of the resource library into the C++
// tables that libQMBRC.so exports outside Windows.
//
//   rcgen [-I folder]... script.rc output.cpp
//
// Anything in the script that the parser does not understand stops the
// build with the script's file and line, so the tables never lack what the
// Windows build of the same script has.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "rcparse.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: rcgen [-I folder]... script.rc output.cpp\n");
  return 2;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  rcgen::ParseOptions options;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-I") {
      if (++i >= argc) return usage();
      options.includeDirs.push_back(argv[i]);
    } else if (arg.rfind("-I", 0) == 0) {
      options.includeDirs.push_back(arg.substr(2));
    } else if (!arg.empty() && arg[0] == '-') {
      return usage();
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return usage();

  rcgen::ResourceScript script;
  std::string error;
  if (!rcgen::parseScriptFile(files[0], options, &script, &error)) {
    std::fprintf(stderr, "rcgen: error: %s\n", error.c_str());
    return 1;
  }
  const std::string source = rcgen::emitTableSource(script, baseName(files[0]));
  // Write beside the target and rename, so that a failed run never leaves a
  // half-written source that a later build would take as up to date.
  const std::string temporary = files[1] + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << source;
    out.close();
    if (!out) {
      std::fprintf(stderr, "rcgen: error: cannot write %s\n", temporary.c_str());
      std::remove(temporary.c_str());
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), files[1].c_str()) != 0) {
    std::fprintf(stderr, "rcgen: error: cannot replace %s\n", files[1].c_str());
    std::remove(temporary.c_str());
    return 1;
  }
  return 0;
}
