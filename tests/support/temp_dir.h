// A scratch folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

namespace afm3test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as a Windows path, with a trailing backslash.
  const std::string& path() const { return path_; }
  // path() + name
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Writes bytes to a new file (replacing it); false on failure.
bool writeWholeFile(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string readWholeFile(const std::string& path);
// Removes a folder and everything below it.
void removeTree(const std::string& path);
// Whether this user is refused writing to a file with the read-only
// attribute (Wine lets the superuser write such files).
bool readOnlyFilesRefuseWriting();

}  // namespace afm3test
