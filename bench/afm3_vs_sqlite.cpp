// Side-by-side timings of the album library and SQLite on the same data,
// in one process run. Each case runs on fresh files, repeats and keeps the
// median; figures are wall and CPU time (user + system) per operation and
// the ratio SQLite / album (above 1: the album is faster).
//
//   afm3_bench [--records N] [--repeats R] [--lookups L] [--dir FOLDER]
//              [--growth A,B,C] [--cases p1,p2,p3,p4,p5,p6,growth] [--smoke]
//
// SQLite runs with WAL and synchronous=NORMAL, one transaction per insert,
// prepared statements throughout.
#include <sqlite3.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_compat.h"

namespace {

namespace fs = std::filesystem;

struct Options {
  uint32_t records = 10000;
  uint32_t repeats = 3;
  uint32_t lookups = 100000;
  std::vector<uint32_t> growth = {1000, 10000, 50000};
  std::string dir;
  std::string cases = "p1,p2,p3,p4,p5,p6,growth";  // which to run
  bool smoke = false;
};

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "afm3_bench: %s\n", what.c_str());
  std::exit(1);
}

// ---- clocks -----------------------------------------------------------------

struct Cost {
  double wall = 0, cpu = 0;  // seconds
};

double cpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Times body() once; setup() runs before it, untimed.
Cost timeOnce(const std::function<void()>& body) {
  const auto w0 = std::chrono::steady_clock::now();
  const double c0 = cpuNow();
  body();
  const double c1 = cpuNow();
  const auto w1 = std::chrono::steady_clock::now();
  return {std::chrono::duration<double>(w1 - w0).count(), c1 - c0};
}

// The median of the runs, wall and CPU taken separately.
Cost median(std::vector<Cost> runs) {
  auto pick = [&](auto field) {
    std::vector<double> v;
    for (const Cost& c : runs) v.push_back(c.*field);
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  return {pick(&Cost::wall), pick(&Cost::cpu)};
}

// ---- the data -----------------------------------------------------------------

// Deterministic words so both engines store the same bytes.
struct Row {
  std::string t0, t1, t2, s, path;
  uint32_t n;
};

Row makeRow(uint32_t i) {
  char buf[96];
  Row r;
  std::snprintf(buf, sizeof buf, "Holiday %u, day %u", i / 40, i % 40 + 1);
  r.t0 = buf;
  std::snprintf(buf, sizeof buf, "Camera %c%u", 'A' + i % 7, 100 + i % 13);
  r.t1 = buf;
  std::snprintf(buf, sizeof buf, "keywords: sea sun beach %u", i % 97);
  r.t2 = buf;
  std::snprintf(buf, sizeof buf, "Caption of picture number %u", i);
  r.s = buf;
  std::snprintf(buf, sizeof buf, "C:\\Pictures\\2024\\IMG_%05u.JPG", i);
  r.path = buf;
  r.n = i * 2654435761u;
  return r;
}

constexpr uint32_t kThumbW = 128, kThumbH = 96;

// A 24-bit bottom-up DIB that compresses like a small photograph: a smooth
// sky over a noisy, textured ground.
std::vector<uint8_t> makeThumbnail(uint32_t seed) {
  const uint32_t rowSize = (24 * kThumbW + 31) / 32 * 4;
  std::vector<uint8_t> dib(40 + rowSize * kThumbH, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&dib[at], &v, 4); };
  put32(0, 40);
  put32(4, kThumbW);
  put32(8, kThumbH);
  dib[12] = 1;
  dib[14] = 24;
  uint32_t noise = seed * 747796405u + 1;
  for (uint32_t y = 0; y < kThumbH; ++y)
    for (uint32_t x = 0; x < kThumbW; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const uint32_t grain = y < kThumbH / 2 ? noise >> 28 : 0;  // rows run bottom up
      uint8_t* p = &dib[40 + y * rowSize + 3 * x];
      p[0] = uint8_t(x / 4 + (seed & 31) + grain);
      p[1] = uint8_t(y + x / 8 + grain);
      p[2] = uint8_t(200 - y / 2 - (seed & 15) + grain);
    }
  return dib;
}

// ---- the album side -----------------------------------------------------------

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(uintptr_t{0xBE}); }

// Fields: three texts, a type-9 string, a 4-byte value.
constexpr uint8_t kAlbumTypes[] = {11, 11, 11, 9, 1};
constexpr uint8_t kFieldT0 = 0, kFieldT1 = 1, kFieldN = 4;

std::string createAlbum(const std::string& path) {
  std::vector<uint8_t> info(1736, 0);
  std::memcpy(&info[8], "Bench", 5);
  info[4] = 96;  // thumbnail size
  std::vector<uint8_t> specs;
  for (size_t i = 0; i < sizeof kAlbumTypes; ++i) {
    std::vector<uint8_t> fieldSpec(67, 0);
    fieldSpec[1] = kAlbumTypes[i];
    fieldSpec[2] = uint8_t('A' + i);
    specs.insert(specs.end(), fieldSpec.begin(), fieldSpec.end());
  }
  fs::remove(path);
  HANDLE h = afm3CreateAlbum(owner(), info.data(), sizeof kAlbumTypes, specs.data(), path.c_str(),
                             nullptr, nullptr);
  if (h == nullptr) die("cannot create " + path);
  afm3CloseAlbum(owner(), h);
  return path;
}

HANDLE openAlbum(const std::string& path) {
  HANDLE h = nullptr;
  if (afm3OpenAlbum(owner(), path.c_str(), AFM3_OPEN_READ_WRITE | AFM3_OPEN_SHARE_NONE, &h, nullptr,
                    nullptr, nullptr) == AFM3_OPEN_FAILED)
    die("cannot open " + path);
  return h;
}

void albumInsert(HANDLE h, const Row& r, HGLOBAL thumb) {
  uint8_t entry[280] = {};
  uint8_t image[16] = {};
  image[AFM3_IMAGE_COLOUR_KIND] = 2;
  image[AFM3_IMAGE_COMPRESSION] = 3;
  image[AFM3_IMAGE_WIDTH] = kThumbW;
  image[AFM3_IMAGE_HEIGHT] = kThumbH;
  const void* values[] = {r.t0.c_str(), r.t1.c_str(), r.t2.c_str(), r.s.c_str(), &r.n};
  if (afm3InsertRecord(owner(), h, entry, thumb ? image : nullptr, thumb, r.path.c_str(), values,
                       nullptr, nullptr, nullptr) != 1)
    die("album insert failed");
}

HGLOBAL globalCopy(const std::vector<uint8_t>& bytes) {
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(g), bytes.data(), bytes.size());
  GlobalUnlock(g);
  return g;
}

// The album with `count` records (thumbnails when given), closed.
void fillAlbum(const std::string& path, uint32_t count, const std::vector<HGLOBAL>& thumbs) {
  createAlbum(path);
  HANDLE h = openAlbum(path);
  for (uint32_t i = 0; i < count; ++i)
    albumInsert(h, makeRow(i), thumbs.empty() ? nullptr : thumbs[i % thumbs.size()]);
  afm3CloseAlbum(owner(), h);
}

// Reads the 3 chosen fields of every record with block reads; returns a
// checksum so the work is not optimised away.
uint64_t albumBlockRead(HANDLE h, uint32_t count) {
  const BYTE fields[] = {kFieldT0, kFieldT1, kFieldN};
  uint64_t sum = 0;
  for (uint32_t first = 0; first < count;) {
    BYTE* block = nullptr;
    BYTE** rows = nullptr;
    const DWORD done =
        afm3ReadFieldBlock(owner(), h, count - first, 3, nullptr, first, fields, &block, &rows);
    if (done == 0) die("block read failed");
    for (DWORD j = 0; j < done; ++j) {
      const BYTE* row = rows[j];
      char* t0 = nullptr;
      std::memcpy(&t0, row, sizeof t0);
      uint32_t n = 0;
      std::memcpy(&n, row + 2 * sizeof(char*), 4);
      sum += std::strlen(t0) + n;
    }
    GlobalFree(GlobalHandle(block));
    GlobalFree(GlobalHandle(rows));
    first += done;
  }
  return sum;
}

// ---- the SQLite side ----------------------------------------------------------

struct Sql {
  sqlite3* db = nullptr;
  // keep: open the existing database instead of starting afresh.
  explicit Sql(const std::string& path, bool keep = false) {
    if (!keep) {
      fs::remove(path);
      fs::remove(path + "-wal");
      fs::remove(path + "-shm");
    }
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) die("sqlite open " + path);
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
  }
  ~Sql() { sqlite3_close(db); }
  void exec(const char* sql) const {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
      die(std::string("sqlite: ") + (error ? error : sql));
  }
  sqlite3_stmt* prepare(const char* sql) const {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) die(sqlite3_errmsg(db));
    return s;
  }
};

void sqlCreate(const Sql& sql) {
  sql.exec(
      "CREATE TABLE pictures(id INTEGER PRIMARY KEY, t0 TEXT, t1 TEXT, t2 TEXT, s TEXT, "
      "n INTEGER, path TEXT, thumb BLOB)");
}

void sqlInsertAll(const Sql& sql, uint32_t count, const std::vector<std::vector<uint8_t>>& dibs) {
  sqlite3_stmt* st = sql.prepare("INSERT INTO pictures VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  std::vector<uint8_t> packed;
  for (uint32_t i = 0; i < count; ++i) {
    const Row r = makeRow(i);
    sqlite3_bind_int(st, 1, int(i));
    sqlite3_bind_text(st, 2, r.t0.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, r.t1.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, r.t2.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, r.s.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 6, r.n);
    sqlite3_bind_text(st, 7, r.path.c_str(), -1, SQLITE_TRANSIENT);
    if (dibs.empty()) {
      sqlite3_bind_null(st, 8);
    } else {
      const std::vector<uint8_t>& dib = dibs[i % dibs.size()];
      uLongf size = compressBound(dib.size() - 40);
      packed.resize(size);
      if (compress(packed.data(), &size, dib.data() + 40, dib.size() - 40) != Z_OK) die("compress");
      sqlite3_bind_blob(st, 8, packed.data(), int(size), SQLITE_TRANSIENT);
    }
    if (sqlite3_step(st) != SQLITE_DONE) die(sqlite3_errmsg(sql.db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

void sqlFill(const std::string& path, uint32_t count) {
  Sql sql(path);
  sqlCreate(sql);
  sql.exec("BEGIN");
  sqlInsertAll(sql, count, {});
  sql.exec("COMMIT");
}

uint64_t sqlSelect(const Sql& sql) {
  sqlite3_stmt* st = sql.prepare("SELECT t0, t1, n FROM pictures ORDER BY id");
  uint64_t sum = 0;
  while (sqlite3_step(st) == SQLITE_ROW)
    sum += std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) +
           uint32_t(sqlite3_column_int64(st, 2));
  sqlite3_finalize(st);
  return sum;
}

// ---- reporting ----------------------------------------------------------------

struct Line {
  std::string name;
  Cost album, sqlite;
  uint32_t ops;
};
std::vector<Line> lines;

void report(const std::string& name, Cost album, Cost sqlite, uint32_t ops,
            const char* albumLabel = "album", const char* otherLabel = "SQLite") {
  const double a = album.wall / ops * 1e6, s = sqlite.wall / ops * 1e6;
  const double ac = album.cpu / ops * 1e6, sc = sqlite.cpu / ops * 1e6;
  std::printf("%-34s %s %9.3f us (cpu %9.3f)  %s %9.3f us (cpu %9.3f)  ratio %6.2f (cpu %6.2f)\n",
              name.c_str(), albumLabel, a, ac, otherLabel, s, sc, s / a, sc / ac);
  std::fflush(stdout);
  lines.push_back({name, album, sqlite, ops});
}

uint64_t fileBytes(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

// ---- the cases ------------------------------------------------------------------

struct Bench {
  Options opt;
  std::vector<std::vector<uint8_t>> dibs;
  std::vector<HGLOBAL> thumbs;

  std::string file(const std::string& name) const { return opt.dir + "/" + name; }

  template <class F>
  Cost repeat(F&& run) {
    std::vector<Cost> runs;
    for (uint32_t i = 0; i < opt.repeats; ++i) runs.push_back(run());
    return median(runs);
  }

  Cost albumInserts(uint32_t count, bool withThumbs) {
    return repeat([&] {
      createAlbum(file("p.ab3"));
      HANDLE h = openAlbum(file("p.ab3"));
      std::vector<Row> rows;
      for (uint32_t i = 0; i < count; ++i) rows.push_back(makeRow(i));
      const Cost c = timeOnce([&] {
        for (uint32_t i = 0; i < count; ++i)
          albumInsert(h, rows[i], withThumbs ? thumbs[i % thumbs.size()] : nullptr);
      });
      afm3CloseAlbum(owner(), h);
      return c;
    });
  }

  Cost sqlInserts(uint32_t count, bool withThumbs) {
    return repeat([&] {
      Sql sql(file("p.sqlite"));
      sqlCreate(sql);
      return timeOnce([&] { sqlInsertAll(sql, count, withThumbs ? dibs : decltype(dibs){}); });
    });
  }

  void insertCase(const std::string& name, uint32_t count, bool withThumbs) {
    const Cost a = albumInserts(count, withThumbs);
    const uint64_t albumSize = fileBytes(file("p.ab3"));
    const Cost s = sqlInserts(count, withThumbs);
    const uint64_t sqlSize = fileBytes(file("p.sqlite")) + fileBytes(file("p.sqlite-wal"));
    report(name, a, s, count);
    std::printf("%-34s album %llu bytes, SQLite %llu bytes (with WAL)\n", "  file size",
                (unsigned long long)albumSize, (unsigned long long)sqlSize);
  }

  void blockReadCase(const std::string& name, uint32_t count) {
    fillAlbum(file("r.ab3"), count, {});
    sqlFill(file("r.sqlite"), count);
    HANDLE h = openAlbum(file("r.ab3"));
    const uint64_t want = albumBlockRead(h, count);
    const Cost a = repeat([&] { return timeOnce([&] { albumBlockRead(h, count); }); });
    afm3CloseAlbum(owner(), h);
    Sql sql(file("r.sqlite"), true);
    if (sqlSelect(sql) != want) die("block read and SELECT disagree");
    const Cost s = repeat([&] { return timeOnce([&] { sqlSelect(sql); }); });
    report(name, a, s, count);
  }

  void fieldReadCase(uint32_t count) {
    fillAlbum(file("r.ab3"), count, {});
    sqlFill(file("r.sqlite"), count);
    HANDLE h = openAlbum(file("r.ab3"));
    auto readAll = [&] {
      char buffer[256];
      for (uint32_t i = 0; i < count; ++i)
        if (afm3ReadRecordField(owner(), h, i, kFieldT0, buffer) != 1) die("field read");
    };
    afm3CacheAlbum(owner(), h, FALSE);
    const Cost uncached = repeat([&] { return timeOnce(readAll); });
    afm3CacheAlbum(owner(), h, TRUE);
    const Cost cached = repeat([&] { return timeOnce(readAll); });
    afm3CloseAlbum(owner(), h);
    Sql sql(file("r.sqlite"), true);
    sqlite3_stmt* st = sql.prepare("SELECT t0 FROM pictures WHERE id = ?1");
    const Cost s = repeat([&] {
      return timeOnce([&] {
        for (uint32_t i = 0; i < count; ++i) {
          sqlite3_bind_int(st, 1, int(i));
          if (sqlite3_step(st) != SQLITE_ROW) die("point SELECT");
          sqlite3_reset(st);
        }
      });
    });
    sqlite3_finalize(st);
    report("P4 field read, caching off", uncached, s, count);
    report("P4 field read, caching on", cached, s, count);
    report("P4 caching off against on", uncached, cached, count, "off", "on");
  }

  void reorganizeCase(uint32_t count) {
    auto deleted = [](uint32_t i) { return i % 10 < 3; };
    const Cost a = repeat([&] {
      fillAlbum(file("z.ab3"), count, {});
      HANDLE h = openAlbum(file("z.ab3"));
      for (uint32_t i = 0; i < count; ++i)
        if (deleted(i) && !afm3DeleteRecord(owner(), h, i)) die("delete");
      const Cost c = timeOnce([&] {
        if (afm3ReorganizeAbm(owner(), &h, 0, nullptr, nullptr) != 1) die("reorganize");
      });
      afm3CloseAlbum(owner(), h);
      return c;
    });
    const Cost s = repeat([&] {
      sqlFill(file("z.sqlite"), count);
      Sql sql(file("z.sqlite"), true);
      sql.exec("DELETE FROM pictures WHERE id % 10 < 3");
      return timeOnce([&] { sql.exec("VACUUM"); });
    });
    report("P5 reorganize against VACUUM", a, s, 1);
  }

  void markCase(uint32_t pictures, uint32_t lookups) {
    char markPath[AFM3_MAX_PATH];
    std::snprintf(markPath, sizeof markPath, "%s", file("m.mrk").c_str());
    fs::remove(markPath);
    if (!afm3NewMarkFile(owner(), 0, "Bench", markPath, FALSE)) die("new mark file");
    Sql sql(file("m.sqlite"));
    sql.exec("CREATE TABLE marks(path TEXT, label TEXT, kind INTEGER, marks INTEGER)");
    sql.exec("CREATE INDEX marks_path ON marks(path)");
    sqlite3_stmt* add = sql.prepare("INSERT INTO marks VALUES(?1, '', 3, ?2)");
    sql.exec("BEGIN");
    for (uint32_t i = 0; i < pictures; ++i) {
      const Row r = makeRow(i);
      uint8_t record[168] = {};
      std::memcpy(record + AFM3_MARK_PATH, r.path.c_str(), r.path.size());
      const uint32_t set = 1u << (i % 26);
      std::memcpy(record + AFM3_MARK_SET, &set, 4);
      record[AFM3_MARK_DRIVE_TYPE] = 3;
      if (!afm3InsertThumbMark(owner(), markPath, record)) die("insert mark");
      sqlite3_bind_text(add, 1, r.path.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(add, 2, int(set));
      if (sqlite3_step(add) != SQLITE_DONE) die(sqlite3_errmsg(sql.db));
      sqlite3_reset(add);
    }
    sql.exec("COMMIT");
    sqlite3_finalize(add);
    std::vector<std::string> paths;
    for (uint32_t i = 0; i < pictures; ++i) paths.push_back(makeRow(i).path);
    const Cost a = repeat([&] {
      return timeOnce([&] {
        for (uint32_t k = 0; k < lookups; ++k) {
          const uint32_t i = (k * 7919u) % pictures;
          DWORD set = 0;
          if (afm3ReadThumbMark(owner(), markPath, paths[i].c_str(), "", 3, &set) != 1 ||
              set != 1u << (i % 26))
            die("mark look-up");
        }
      });
    });
    sqlite3_stmt* get = sql.prepare("SELECT marks FROM marks WHERE path = ?1");
    const Cost s = repeat([&] {
      return timeOnce([&] {
        for (uint32_t k = 0; k < lookups; ++k) {
          const uint32_t i = (k * 7919u) % pictures;
          sqlite3_bind_text(get, 1, paths[i].c_str(), -1, SQLITE_STATIC);
          if (sqlite3_step(get) != SQLITE_ROW) die("mark SELECT");
          sqlite3_reset(get);
        }
      });
    });
    sqlite3_finalize(get);
    report("P6 mark look-up", a, s, lookups);
  }
};

std::string machine() {
  std::ifstream cpu("/proc/cpuinfo");
  std::string line, model = "unknown CPU";
  while (std::getline(cpu, line))
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  utsname u{};
  uname(&u);
  return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " + u.sysname +
         " " + u.release;
}

std::vector<uint32_t> parseList(const char* text) {
  std::vector<uint32_t> v;
  for (const char* p = text; *p;) {
    v.push_back(uint32_t(std::strtoul(p, const_cast<char**>(&p), 10)));
    if (*p == ',') ++p;
  }
  return v;
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* {
      if (i + 1 >= argc) die("missing value after " + a);
      return argv[++i];
    };
    if (a == "--records")
      o.records = uint32_t(std::atoi(next()));
    else if (a == "--repeats")
      o.repeats = uint32_t(std::atoi(next()));
    else if (a == "--lookups")
      o.lookups = uint32_t(std::atoi(next()));
    else if (a == "--growth")
      o.growth = parseList(next());
    else if (a == "--dir")
      o.dir = next();
    else if (a == "--cases")
      o.cases = next();
    else if (a == "--smoke") {
      o.smoke = true;
      o.records = 300;
      o.repeats = 1;
      o.lookups = 1000;
      o.growth = {100, 300};
    } else
      die("unknown option " + a);
  }
  if (o.records == 0 || o.records > 60000 || o.repeats == 0) die("bad sizes");
  for (uint32_t g : o.growth)
    if (g == 0 || g > 60000) die("growth sizes must be 1 to 60000");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  Bench b;
  b.opt = parse(argc, argv);
  std::string made;
  if (b.opt.dir.empty()) {
    char pattern[] = "/tmp/afm3-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) die("no temporary folder");
    b.opt.dir = made = pattern;
  }
  for (uint32_t i = 0; i < 16; ++i) {
    b.dibs.push_back(makeThumbnail(i));
    b.thumbs.push_back(globalCopy(b.dibs.back()));
  }
  std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", std::gmtime(&now));
  std::printf("afm3 %s against SQLite %s; %s; %s; %u records, median of %u\n\n", "3.0",
              sqlite3_libversion(), machine().c_str(), date, b.opt.records, b.opt.repeats);

  const uint32_t n = b.opt.records;
  auto wanted = [&](const char* name) {
    return ("," + b.opt.cases + ",").find("," + std::string(name) + ",") != std::string::npos;
  };
  if (wanted("p1")) b.insertCase("P1 insert", n, false);
  if (wanted("p2")) b.insertCase("P2 insert with thumbnail", n, true);
  if (wanted("p3")) b.blockReadCase("P3 block read of 3 fields", n);
  if (wanted("p4")) b.fieldReadCase(n);
  if (wanted("p5")) b.reorganizeCase(n);
  if (wanted("p6")) b.markCase(n, b.opt.lookups);
  if (!wanted("growth")) b.opt.growth.clear();
  if (!b.opt.growth.empty()) std::printf("\ngrowth (per-record cost)\n");
  for (uint32_t g : b.opt.growth) {
    b.insertCase("P1 insert at " + std::to_string(g), g, false);
    b.blockReadCase("P3 block read at " + std::to_string(g), g);
  }
  // Per-record album cost at the largest size against the smallest.
  if (b.opt.growth.size() > 1) {
    const std::string lo = std::to_string(b.opt.growth.front());
    const std::string hi = std::to_string(b.opt.growth.back());
    for (const char* what : {"P1 insert at ", "P3 block read at "}) {
      const Line *a = nullptr, *z = nullptr;
      for (const Line& l : lines) {
        if (l.name == what + lo) a = &l;
        if (l.name == what + hi) z = &l;
      }
      if (a && z)
        std::printf("%-34s %.2f (wall), %.2f (cpu)\n",
                    (std::string(what) + hi + " / " + lo).c_str(),
                    (z->album.wall / z->ops) / (a->album.wall / a->ops),
                    (z->album.cpu / z->ops) / (a->album.cpu / a->ops));
    }
  }
  for (HGLOBAL g : b.thumbs) GlobalFree(g);
  if (!made.empty()) fs::remove_all(made);
  return 0;
}
