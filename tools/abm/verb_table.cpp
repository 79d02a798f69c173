// The verbs of abm, in the order the help lists them.
#include "album_verbs.h"
#include "cli.h"
#include "maintenance_verbs.h"
#include "mark_verbs.h"
#include "picture_verbs.h"

namespace abm {

const std::vector<Verb>& verbs() {
  static const std::vector<Verb> all = {
      {"check",
       "Tell whether a file is an album, and of which format version.\n"
       "--deep walks a version-3.0 album whole (header, fields, record entries, rows,\n"
       "value heaps, strings, images, counts) and lists every problem with its kind and\n"
       "place; the exit status is then 1 when there are problems.",
       "FILE [--deep]", 1, runCheck},
      {"info", "Show an album's information and its fields.", "FILE", 1, runInfo},
      {"create",
       "Create an album with the fields given as --field NAME:TYPE[:index=N][:attribute].\n"
       "TYPE is text, memo, string, blob, list32, list1, bytes2, bytes4, bytes4b, bytes8,\n"
       "bytes4c, bytes2b, bytes16 or a number 0 to 12. Options: --title=TITLE,\n"
       "--description=TEXT, --thumb=PIXELS (96), --in-folder (TARGET is a folder and the\n"
       "file name comes from the title). Prints the album's path.",
       "TARGET --field=NAME:TYPE... [--title=TITLE] [--in-folder]", 1, runCreate},
      {"add",
       "Add pictures as records, with thumbnails and field values.\n"
       "PATH is a JPEG, PNG or BMP file, or a folder whose .jpg, .jpeg, .png and .bmp\n"
       "files are added (those of its subfolders too with --recursive). A record keeps\n"
       "the picture's path, size and time and a thumbnail of the album's thumbnail\n"
       "size. --field=NAME=VALUE gives every added record a field value: a whole number\n"
       "(decimal, negative or 0x hex) for bytes2 to bytes16, entry indexes separated by\n"
       "commas for list32 (up to 32) and list1 (one), text for string, text (255\n"
       "characters), memo (258) and blob. --compression=raw, jpeg (the default), lzw or\n"
       "zlib stores the thumbnails so. Damaged pictures are skipped and make the exit\n"
       "status 1. A progress bar shows on a terminal unless --no-progress.",
       "ALBUM PATH... [--recursive] [--field=NAME=VALUE]... [--compression=KIND]", 2, runAdd},
      {"list",
       "List the records with their picture file names and field values.\n"
       "--fields=A,B shows only those fields (--fields= none); --deleted lists deleted\n"
       "records too.",
       "ALBUM [--fields=NAME,...] [--deleted]", 1, runList},
      {"show", "Show one record: its picture file, thumbnail and every field.", "ALBUM N", 2,
       runShow},
      {"set",
       "Set one field of a record.\n"
       "VALUE is written as for add; put '--' before a value that starts with '--'.",
       "ALBUM N FIELD VALUE", 4, runSet},
      {"delete", "Delete a record (undelete brings it back until the album is reorganized).",
       "ALBUM N", 2, runDelete},
      {"undelete", "Bring back a deleted record.", "ALBUM N", 2, runUndelete},
      {"thumbs",
       "Write every record's stored thumbnail to FOLDER as record-N.png (or .bmp with\n"
       "--format=bmp). Records without a thumbnail are left out.",
       "ALBUM FOLDER [--format=png|bmp]", 2, runThumbs},
      {"path", "Show where a record's picture is and the form the album keeps its path in.",
       "ALBUM N", 2, runPath},
      {"relink",
       "Keep the paths of pictures that lie under the album's folder relative to that\n"
       "folder, so that album and pictures can move together. --dry-run only lists them.",
       "ALBUM [--dry-run]", 1, runRelink},
      {"repair",
       "Repair a version-3.0 album: complete half-deleted records, recount the records,\n"
       "raise the next record number, protect text entries past the heaps' used marks,\n"
       "and write the header with a fresh checksum. Lists what was repaired and what is\n"
       "left (exit status 1 when something is left). The album must not be open\n"
       "elsewhere.",
       "ALBUM", 1, runRepair},
      {"reorganize",
       "Rewrite the album compactly: deleted records and the space of replaced values\n"
       "are given back, and the records are numbered 0, 1, 2, ... anew (deleted ones\n"
       "can no longer be brought back). --order=by-field:NAME sorts the records by a\n"
       "field's values, --order=by-path by picture path; otherwise they keep their\n"
       "order. Prints the file size before and after. A progress bar shows on a\n"
       "terminal unless --no-progress.",
       "ALBUM [--order=by-field:NAME|by-path]", 1, runReorganize},
      {"convert",
       "Convert an album of version 1.0, 1.2 or 2.0 into a new version-3.0 album beside\n"
       "it (named like the old one with the extension .ab3, numbered when that name is\n"
       "taken) and print its path. Records keep their numbers. The old album is kept\n"
       "unless --delete-old. An album that is already version 3.0 is left as it is.",
       "OLD [--delete-old]", 1, runConvert},
      {"marks",
       "Name marks and put them on pictures; they live in the album's mark file.\n"
       "  names ALBUM                the mark file and its named marks\n"
       "  name ALBUM N NAME          name mark N (0 to 25); an empty NAME clears it\n"
       "  mark ALBUM MARK TARGET...  mark pictures: MARK is a number or a name, TARGET a\n"
       "                             record number or a picture file\n"
       "  unmark ALBUM MARK TARGET...\n"
       "  list ALBUM                 the marked pictures with their marks\n"
       "A picture keeps its marks wherever it is listed: on removable media it is known\n"
       "by its path and volume label, elsewhere by its full path.",
       "names|name|mark|unmark|list ALBUM [ARGS...]", 2, runMarks},
  };
  return all;
}

const Verb* findVerb(const std::string& name) {
  for (const Verb& verb : verbs()) {
    if (name == verb.name) return &verb;
  }
  return nullptr;
}

}  // namespace abm
