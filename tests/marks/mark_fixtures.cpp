#include "mark_fixtures.h"

#include <cstring>
#include <set>

#include "core/canonical_path.h"
#include "core/library_state.h"
#include "platform.h"

namespace marktest {

using afm3test::get16;
using afm3test::get32;

namespace {

constexpr uint32_t kFreeHead = 996, kBucketBase = 1000, kNext = 168;

std::string fieldText(const Bytes& b, size_t at, size_t size) {
  const char* text = reinterpret_cast<const char*>(b.data() + at);
  return std::string(text, strnlen(text, size));
}

std::string tail(const std::string& path) { return path.empty() ? path : path.substr(1); }

}  // namespace

uint32_t nameHash(const std::string& path) {
  std::string name = path.substr(path.find_last_of('\\') + 1);
  uint32_t sum = 0;
  for (size_t i = 0; i < name.size() && name[i] != '.'; ++i) {
    const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
    sum += static_cast<uint32_t>(i + 1) * static_cast<uint8_t>(c);
  }
  return sum % kBuckets;
}

Bytes markRecord(const std::string& path, uint32_t markSet, const std::string& label,
                 uint8_t driveType) {
  Bytes r(AFM3_THUMB_MARK_RECORD_SIZE, 0);
  std::memcpy(&r[AFM3_MARK_PATH], path.data(), std::min<size_t>(path.size(), 128));
  afm3test::put32(r, AFM3_MARK_SET, markSet);
  std::memcpy(&r[AFM3_MARK_LABEL], label.data(), std::min<size_t>(label.size(), 32));
  r[AFM3_MARK_DRIVE_TYPE] = driveType;
  return r;
}

MarkFileImage readMarkFile(const Bytes& file) {
  MarkFileImage image;
  auto fail = [&](const std::string& why) {
    if (image.problem.empty()) image.problem = why;
    return image;
  };
  if (file.size() < kEmptySize) return fail("shorter than an empty mark file");
  const uint8_t magic[] = {0xD6, 0xC5, 0x6F, 0x58};
  if (std::memcmp(file.data(), magic, 4) != 0) return fail("magic");
  const Bytes header(file.begin(), file.begin() + 164);
  if (afm3test::xorChecksum(header) != get16(header, 162)) return fail("header checksum");
  image.live = get16(file, 158);
  image.freeCount = get16(file, 160);
  image.albumPath = fieldText(file, 6, 128);
  image.title = fieldText(file, 134, 24);

  std::set<uint32_t> seen;
  auto visit = [&](uint32_t offset) -> bool {
    if (offset < kEmptySize || offset + kRecordSize > file.size()) return false;
    return seen.insert(offset).second;
  };
  image.chains.resize(kBuckets);
  uint32_t records = 0;
  for (uint32_t b = 0; b < kBuckets; ++b) {
    std::string previous;
    for (uint32_t at = get32(file, kBucketBase + 4 * b); at != 0; at = get32(file, at + kNext)) {
      if (!visit(at)) return fail("bucket " + std::to_string(b) + ": bad or repeated offset");
      const std::string path = fieldText(file, at, 128);
      if (nameHash(path) != b) return fail(path + " is in the wrong bucket");
      if (!image.chains[b].empty() && tail(path) < tail(previous))
        return fail("bucket " + std::to_string(b) + " is out of order at " + path);
      if (file[at + 165] != 0 || file[at + 166] != 0 || file[at + 167] != 0)
        return fail(path + ": padding is not zero");
      image.chains[b].push_back(at);
      previous = path;
      ++records;
    }
  }
  for (uint32_t at = get32(file, kFreeHead); at != 0; at = get32(file, at + kNext)) {
    if (!visit(at)) return fail("free list: bad or repeated offset");
    for (uint32_t i = 0; i < kNext; ++i) {
      if (file[at + i] != 0) return fail("a free record is not zero");
    }
    image.freeList.push_back(at);
  }
  if (records != image.live) return fail("live count differs from the chains");
  if (image.freeList.size() != image.freeCount) return fail("free count differs from the list");
  if (file.size() != kEmptySize + kRecordSize * (records + image.freeList.size()))
    return fail("the file holds records that belong nowhere");
  return image;
}

Bytes fileBytes(const std::string& path) {
  const std::string bytes = afm3test::readWholeFile(path);
  return Bytes(bytes.begin(), bytes.end());
}

Bytes nameTable(const std::vector<std::string>& names) {
  Bytes table(832, 0);
  for (size_t i = 0; i < names.size() && i < 26; ++i)
    std::memcpy(&table[32 * i], names[i].data(), std::min<size_t>(names[i].size(), 32));
  return table;
}

void MarkTest::SetUp() {
  afm3::LibraryState& state = afm3::libraryState();
  savedHome_ = state.appDataFolder;
  ASSERT_FALSE(home_.path().empty());
  std::snprintf(state.appDataFolder, sizeof state.appDataFolder, "%s", home_.path().c_str());
}

void MarkTest::TearDown() {
  afm3::LibraryState& state = afm3::libraryState();
  std::snprintf(state.appDataFolder, sizeof state.appDataFolder, "%s", savedHome_.c_str());
}

std::string MarkTest::newMarkFile(const std::string& name, const std::string& title) {
  char path[AFM3_MAX_PATH];
  std::snprintf(path, sizeof path, "%s", file(name).c_str());
  EXPECT_TRUE(afm3NewMarkFile(owner(), 0, title.c_str(), path, FALSE));
  return path;
}

std::string MarkTest::key(const std::string& album) {
  char out[AFM3_MAX_PATH] = {};
  EXPECT_TRUE(afm3::canonicalPath(album.c_str(), out, sizeof out, afm3::CanonicalNames::Short));
  return out;
}

void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step) {
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_TRUE(e.recorded);
  EXPECT_EQ(e.id, id) << e.text;
  EXPECT_EQ(e.module, module) << e.text;
  EXPECT_EQ(e.function, function) << e.text;
  EXPECT_EQ(e.step, step) << e.text;
}

}  // namespace marktest
