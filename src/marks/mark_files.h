// Mark files as a whole: where they live and what they are called, making,
// finding, checking, copying and describing them.
#pragma once

#include "core/mark_file_hook.h"

namespace afm3 {

// Creating or locating an album's thumb-mark file (module 7012, function
// 1): the routine album creation and opening hand their markPath to.
//   - checkExisting and markPath names a valid mark file: kept as it is;
//   - besideAlbum (version-2 albums): the album's folder + its mark-file
//     name when that folder takes new files; a valid mark file already
//     there is used, any other file there is never replaced;
//   - otherwise AppDataFolder + the mark-file name (its stem shortened so
//     the path stays within 255 characters), made unique.
// A new file is empty, with the album's canonical short path (empty when
// it cannot be formed) and its title. markPath receives the path.
bool createOrLocateMarkFile(const MarkFileRequest& request);

}  // namespace afm3
