// Picture files named on the command line, and what the file system says
// about each of them.
#pragma once

#include <string>
#include <vector>

#include "record_entry.h"

namespace abm {

// Whether a file name ends in .jpg, .jpeg, .png or .bmp (any case).
bool hasPictureExtension(const std::string& name);

// The pictures to add: files as given, and the picture files of folders
// (of their subfolders too when recursive), each folder's sorted by name.
// A path that names nothing adds a line to problems.
std::vector<std::string> collectPictures(const std::vector<std::string>& paths, bool recursive,
                                         std::vector<std::string>* problems);

// Full and short path, size, last-write time, drive type and label of a
// picture file (a shell path).
bool pictureFacts(const std::string& shellPath, PictureFacts* facts, std::string* problem);

}  // namespace abm
