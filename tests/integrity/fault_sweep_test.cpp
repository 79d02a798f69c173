// Every changing operation, stopped or failed at each of its file calls,
// leaves an album that opens, in which every value is either what it was
// before the operation or what the operation makes of it, and no call
// reports success when one of its writes failed.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "afm3_check.h"
#include "fault_injection.h"
#include "platform.h"
#include "records_support.h"

namespace rectest {
namespace {

namespace faults = plat::faults;

// Fields: 0 text, 1 memo, 2 type-9 string, 3 type-10 value, 4 u32,
// 5 type-8 index into the value table.
constexpr std::initializer_list<uint8_t> kTypes = {11, 12, 9, 10, 2, 8};
constexpr uint32_t kTableField = 5;
constexpr uint32_t kRecordsLooked = 9;  // a few past the last record too

// A 4 x 2 24-bit bitmap as a movable block (freed by the caller).
HGLOBAL smallDib(uint8_t shade) {
  constexpr uint32_t kRow = 12, kBits = kRow * 2;
  HGLOBAL dib = plat::globalAlloc(plat::kGhnd, 40 + kBits);
  auto* p = static_cast<uint8_t*>(plat::globalLock(dib));
  Bytes header(40, 0);
  afm3test::put32(header, 0, 40);
  afm3test::put32(header, 4, 4);
  afm3test::put32(header, 8, 2);
  afm3test::put16(header, 12, 1);
  afm3test::put16(header, 14, 24);
  std::copy(header.begin(), header.end(), p);
  for (uint32_t i = 0; i < kBits; ++i) p[40 + i] = static_cast<uint8_t>(shade + i);
  plat::globalUnlock(dib);
  return dib;
}

Bytes imageHeaderFor(uint8_t compression) {
  Bytes h(16, 0);
  afm3test::put16(h, 10, 4);  // width
  afm3test::put16(h, 12, 2);  // height
  h[8] = 2;                   // 24-bit colour
  h[9] = compression;
  return h;
}

Values recordValues(const std::string& tag, uint32_t n) {
  Values v;
  v.text("text " + tag).text("memo " + tag).text("string " + tag).blob(Bytes(5 + n, 0x30 + n));
  v.u32(n).raw(Bytes{static_cast<uint8_t>(n % 3), 0});
  // No value for fields a scheme change may have added.
  return v.none().none().none().none().none();
}

int insertWith(HINSTANCE owner, HANDLE album, const std::string& tag, uint32_t n, Bytes entry,
               uint8_t compression = 0xFF) {
  Values v = recordValues(tag, n);
  entry.resize(280);
  Bytes header = imageHeaderFor(compression);
  HGLOBAL dib = compression == 0xFF ? nullptr : smallDib(static_cast<uint8_t>(n));
  const std::string a = "C:\\pictures\\" + tag + ".jpg";
  const int result =
      afm3InsertRecord(owner, album, entry.data(), dib != nullptr ? header.data() : nullptr, dib,
                       a.c_str(), v.get(), nullptr, nullptr, ("b " + tag).c_str());
  if (dib != nullptr) plat::globalFree(dib);
  return result;
}

std::string bytesOf(HGLOBAL block) {
  const Bytes b = handleBytes(block);
  return std::string(b.begin(), b.end());
}

// Everything the public reads say about the album, one entry a value.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(HINSTANCE owner, HANDLE album) {
  Snapshot s;
  Bytes info(1736, 0);
  s["info"] = afm3ReadBasicAlbumInfo(owner, album, info.data()) ? "ok" : "failed";
  s["count"] = std::to_string(get16(info, 0));
  s["next"] = std::to_string(get16(info, 2));
  s["title"] = std::string(reinterpret_cast<const char*>(info.data()) + 8);
  WORD count = 0;
  const std::string table = bytesOf(afm3ReadTable(owner, album, kTableField, &count));
  s["table"] = table + "/" + std::to_string(count);
  for (uint32_t r = 0; r < kRecordsLooked; ++r) {
    const std::string key = "r" + std::to_string(r) + ".";
    s[key + "valid"] = std::to_string(afm3IsValidRecord(owner, album, r));
    for (uint32_t f = 0; f < kTypes.size(); ++f) {
      std::string value;
      if (f == 2 || f == 3) {
        HGLOBAL out = nullptr;
        const int result = afm3ReadRecordFieldEx(owner, album, r, f, &out);
        value = std::to_string(result) + ":" + bytesOf(out);
      } else {
        char buffer[300] = {};
        const int result = afm3ReadRecordField(owner, album, r, f, buffer);
        value = std::to_string(result) + ":" +
                (f < 2 ? std::string(buffer) : std::string(buffer, f == 4 ? 4 : 2));
      }
      s[key + "f" + std::to_string(f)] = value;
    }
    Bytes entry(280, 0);
    char path[300] = {}, extra[300] = {};
    const BOOL pic = afm3ReadRecordPic(owner, album, r, entry.data(), path, sizeof path, 0, extra);
    s[key + "pic"] =
        std::to_string(pic) + ":" + std::string(entry.begin(), entry.end()) + path + "|" + extra;
    HGLOBAL dib = nullptr;
    const int image = afm3ReadRecordImage(owner, album, r, 0, &dib);
    s[key + "image"] = std::to_string(image) + ":" + bytesOf(dib);
  }
  return s;
}

// An operation on the album, from a known starting album; returns whether
// the call reported success.
struct Operation {
  const char* name;
  std::function<bool(HINSTANCE, HANDLE)> run;
  bool privateOnly = false;  // changes nothing under write sharing
};

// A scheme change of 67-byte records {field, operation, name, ..., index}.
bool changeScheme(HINSTANCE o, HANDLE a,
                  std::vector<std::tuple<uint8_t, uint8_t, std::string>> list, uint8_t index = 0) {
  Bytes records;
  for (const auto& [field, operation, name] : list) {
    Bytes r(67, 0);
    r[0] = field;
    r[1] = operation;
    std::copy(name.begin(), name.end(), r.begin() + 2);
    r[66] = index;
    records.insert(records.end(), r.begin(), r.end());
  }
  return afm3ChangeScheme(o, &a, static_cast<DWORD>(list.size()), records.data()) == 1;
}

// Added: text, memo, type-9, type-10 and u32 (26 row bytes: wider slots,
// the slack has 4) or one 2-byte field (into the slack).
const Operation kSchemeAdd = {
    "scheme add wider",
    [](HINSTANCE o, HANDLE a) {
      return changeScheme(o, a,
                          {{0, 11, "T"}, {0, 12, "M"}, {0, 9, "S"}, {0, 10, "B"}, {0, 2, "U"}}, 3);
    },
    true};

const Bytes kTable = {'r', 'e', 'd', 0, 'g', 'r', 'e', 'e', 'n', 0, 'b', 'l', 'u', 'e', 0};

std::vector<Operation> operations() {
  auto field = [](uint32_t r, uint32_t f, std::function<Values()> values) {
    return [=](HINSTANCE o, HANDLE a) {
      Values v = values();
      return afm3UpdateRecordField(o, a, r, f, v.get()[0]) == TRUE;
    };
  };
  auto one = [](auto fill) {
    return [=] {
      Values v;
      fill(v);
      return v;
    };
  };
  return {
      {"insert", [](HINSTANCE o, HANDLE a) { return insertWith(o, a, "new", 7, {}) == 1; }},
      {"insert with image",
       [](HINSTANCE o, HANDLE a) { return insertWith(o, a, "img", 8, {}, 3) == 1; }},
      {"insert reusing a deleted number",
       [](HINSTANCE o, HANDLE a) {
         return insertWith(o, a, "re", 9, entryWithNumber(4, 0x10)) == 1;
       }},
      {"text grows", field(1, 0, one([](Values& v) { v.text("a much longer text than before"); }))},
      {"text same length", field(1, 0, one([](Values& v) { v.text("TEXT r1"); }))},
      {"memo grows", field(2, 1, one([](Values& v) { v.text(std::string(200, 'm')); }))},
      {"string grows", field(0, 2, one([](Values& v) { v.text("a longer type-9 string"); }))},
      {"blob grows", field(3, 3, one([](Values& v) { v.blob(Bytes(40, 7)); }))},
      {"number", field(1, 4, one([](Values& v) { v.u32(0xABCDEF); }))},
      {"whole record",
       [](HINSTANCE o, HANDLE a) {
         Values v = recordValues("whole record rewritten", 12);
         return afm3UpdateRecord(o, a, 2, v.get()) == TRUE;
       }},
      {"delete", [](HINSTANCE o, HANDLE a) { return afm3DeleteRecord(o, a, 1) == TRUE; }},
      {"undelete", [](HINSTANCE o, HANDLE a) { return afm3UndelRecord(o, a, 4) == TRUE; }},
      {"table",
       [](HINSTANCE o, HANDLE a) {
         Bytes bigger = kTable;
         bigger.resize(17000, 'x');
         return afm3UpdateTable(o, a, kTableField, bigger.data(), 17000, 4) == TRUE;
       }},
      {"picture path",
       [](HINSTANCE o, HANDLE a) {
         return afm3UpdateRecordPic(o, a, 0, nullptr, "C:\\moved\\p.jpg", nullptr, "extra") == TRUE;
       }},
      {"image",
       [](HINSTANCE o, HANDLE a) {
         HGLOBAL dib = smallDib(99);
         Bytes header = imageHeaderFor(2);
         const BOOL ok = afm3UpdateRecordImage(o, a, 1, dib, header.data(), nullptr);
         plat::globalFree(dib);
         return ok == TRUE;
       }},
      {"picture data",
       [](HINSTANCE o, HANDLE a) {
         const Bytes data(30, 0x5A);
         return afm3UpdateFilePicMisc(o, a, 2, 3, data.data(), 30) == TRUE;
       }},
      {"information",
       [](HINSTANCE o, HANDLE a) {
         return afm3UpdateBasicAlbumInfo(o, a, afm3test::albumInfo("Renamed").data()) == TRUE;
       }},
      {"index attribute",
       [](HINSTANCE o, HANDLE a) { return afm3AddOemFldDef(o, a, 4, 3, 0) == TRUE; }},
      kSchemeAdd,
      {"scheme add in slack",
       [](HINSTANCE o, HANDLE a) {
         return changeScheme(o, a, {{0, 0, "small"}});
       },
       true},
      {"scheme remove",
       [](HINSTANCE o, HANDLE a) {
         return changeScheme(o, a, {{4, 0x40, ""}});
       },
       true},
      {"scheme rename",
       [](HINSTANCE o, HANDLE a) {
         return changeScheme(o, a, {{0, 0x20, "a much longer name"}});
       },
       true},
  };
}

// The album every run starts from: five records (the fourth deleted, two
// with images), a value table.
class FaultSweep : public ::testing::TestWithParam<DWORD> {
 protected:
  void SetUp() override {
    album_ = std::make_unique<TestAlbum>(kTypes, GetParam());
    const HINSTANCE o = album_->owner;
    for (uint32_t r = 0; r < 5; ++r)
      ASSERT_EQ(insertWith(o, album_->handle(), "r" + std::to_string(r), r, {}, r % 2 ? 3 : 0xFF),
                1);
    ASSERT_TRUE(afm3DeleteRecord(o, album_->handle(), 4));
    ASSERT_TRUE(afm3UpdateTable(o, album_->handle(), kTableField, kTable.data(),
                                static_cast<DWORD>(kTable.size()), 3));
    album_->close();
    start_ = album_->file();
  }

  // The starting album, open in current_.
  HANDLE restart() {
    closeAll();
    EXPECT_TRUE(afm3test::writeWholeFile(album_->path, std::string(start_.begin(), start_.end())));
    current_ = album_->openAs(album_->owner, GetParam());
    return current_;
  }

  // A commit may give the album a new handle.
  bool run(const Operation& op) {
    const bool ok = op.run(album_->owner, current_);
    current_ = TestAlbum::handleOf(album_->owner);
    return ok;
  }

  void closeAll() {
    for (HANDLE h; (h = TestAlbum::handleOf(album_->owner)) != nullptr;)
      ASSERT_TRUE(afm3CloseAlbum(album_->owner, h));
  }

  Snapshot reopenAndLook(const std::string& what = "clean") {
    closeAll();
    HANDLE h = nullptr;
    HGLOBAL specs = nullptr;
    BYTE fields = 0;
    const DWORD opened = afm3OpenAlbum(album_->owner, album_->path.c_str(), GetParam(), &h, nullptr,
                                       &fields, &specs);
    EXPECT_NE(opened, 0xFFFFu) << "the album no longer opens";
    if (opened == 0xFFFFu) return {};
    Snapshot s = snapshot(album_->owner, h);
    expectLaterInsertChangesNothing(h, s, what);
    s["fields"] = bytesOf(specs);
    closeAll();
    expectRepairLeavesNothing(what);
    return s;
  }

  // Counts and marks an interruption may leave out of step are mended by
  // the repair, after which the check finds nothing.
  void expectRepairLeavesNothing(const std::string& what) {
    EXPECT_GE(afm3CheckAlbumFile(album_->path.c_str(), 1, nullptr, nullptr), 0) << what;
    std::string problems;
    const int left = afm3CheckAlbumFile(
        album_->path.c_str(), 0,
        [](void* text, const Afm3Problem* p) { *static_cast<std::string*>(text) += p->text; },
        &problems);
    EXPECT_EQ(left, 0) << what << ": " << problems;
  }

  // What an interrupted operation left must not be in the way of the next
  // one: a record inserted now (its values fill heap space) leaves every
  // other record as it was.
  void expectLaterInsertChangesNothing(HANDLE h, const Snapshot& seen, const std::string& what) {
    Bytes entry(280, 0);
    ASSERT_EQ(insertWith(album_->owner, h, std::string(60, 'z'), 20, {}), 1);
    h = TestAlbum::handleOf(album_->owner);
    Snapshot later = snapshot(album_->owner, h);
    Bytes info(1736, 0);
    ASSERT_TRUE(afm3ReadBasicAlbumInfo(album_->owner, h, info.data()));
    const std::string mine = "r" + std::to_string(get16(info, 2) - 1) + ".";
    for (const auto& [key, value] : seen) {
      if (key == "count" || key == "next" || key.rfind(mine, 0) == 0) continue;
      EXPECT_EQ(later.at(key), value)
          << what << ": " << key << " changed when a record was added afterwards";
    }
  }

  std::unique_ptr<TestAlbum> album_;
  Bytes start_;
  HANDLE current_ = nullptr;
};

void expectBeforeOrAfter(const Snapshot& seen, const Snapshot& before, const Snapshot& after,
                         const std::string& what) {
  for (const auto& [key, value] : seen) {
    const bool ok = value == before.at(key) || value == after.at(key);
    EXPECT_TRUE(ok) << what << ": " << key << " is neither as before nor as after"
                    << (value.size() < 40 ? " (" + value + ")" : std::string());
  }
}

TEST_P(FaultSweep, EveryStopAndFailureLeavesEachValueOldOrNew) {
  uint32_t points = 0;
  for (const Operation& op : operations()) {
    if (op.privateOnly && GetParam() == kShared) continue;
    ASSERT_NE(restart(), nullptr);
    const Snapshot before = reopenAndLook();
    ASSERT_NE(restart(), nullptr);
    faults::reset();
    ASSERT_TRUE(run(op)) << op.name;
    const uint32_t counted[] = {faults::calls(faults::Op::Write), faults::calls(faults::Op::Read),
                                faults::calls(faults::Op::Seek), faults::calls(faults::Op::Lock)};
    faults::disarm();
    const Snapshot after = reopenAndLook();
    ASSERT_NE(before, after) << op.name << " changed nothing";

    // Killed after the k-th write.
    for (uint32_t k = 1;; ++k) {
      ASSERT_NE(restart(), nullptr);
      faults::arm(faults::Op::Write, k, faults::Mode::StopAfter);
      run(op);
      const bool stopped = faults::stopped();
      faults::disarm();
      ++points;
      const std::string what = std::string(op.name) + ", stopped after write " + std::to_string(k);
      expectBeforeOrAfter(reopenAndLook(what), before, after, what);
      if (!stopped) break;
    }
    // The k-th read, write, seek or lock fails.
    const faults::Op kinds[] = {faults::Op::Write, faults::Op::Read, faults::Op::Seek,
                                faults::Op::Lock};
    for (int kind = 0; kind < 4; ++kind) {
      for (uint32_t k = 1; k <= counted[kind]; ++k) {
        ASSERT_NE(restart(), nullptr);
        faults::arm(kinds[kind], k, faults::Mode::FailOne);
        const bool reported = run(op);
        const bool failed = faults::failedAny();
        faults::disarm();
        ++points;
        const std::string what = std::string(op.name) + ", call " + std::to_string(k) +
                                 " of kind " + std::to_string(kind);
        if (kind == 0) {
          EXPECT_FALSE(failed && reported) << what << ": success after a failed write";
        }
        expectBeforeOrAfter(reopenAndLook(what), before, after, what);
      }
    }
  }
  std::printf("[ fault points ] %u tried with flags 0x%02X\n", points,
              static_cast<unsigned>(GetParam()));
}

// A scheme change that fails at any read or write leaves the album as it
// was, usable through the same open slot: what it reads, and a record
// inserted next, are as if the change had not been tried.
TEST_P(FaultSweep, AFailedSchemeChangeLeavesTheOpenAlbumUsable) {
  if (GetParam() == kShared) GTEST_SKIP() << "a scheme change leaves a shared album alone";
  ASSERT_NE(restart(), nullptr);
  const Snapshot before = snapshot(album_->owner, current_);
  faults::reset();
  ASSERT_TRUE(run(kSchemeAdd));
  const uint32_t counted[] = {faults::calls(faults::Op::Write), faults::calls(faults::Op::Read)};
  faults::disarm();
  const faults::Op kinds[] = {faults::Op::Write, faults::Op::Read};
  for (int kind = 0; kind < 2; ++kind) {
    for (uint32_t k = 1; k <= counted[kind]; ++k) {
      ASSERT_NE(restart(), nullptr);
      faults::arm(kinds[kind], k, faults::Mode::FailOne);
      const bool reported = run(kSchemeAdd);
      faults::disarm();
      if (reported) continue;
      const std::string what =
          "failed call " + std::to_string(k) + " of kind " + std::to_string(kind);
      EXPECT_EQ(snapshot(album_->owner, current_), before) << what;
      expectLaterInsertChangesNothing(current_, before, what);
      closeAll();
      expectRepairLeavesNothing(what);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sharing, FaultSweep, ::testing::Values(kPrivate, kShared));

}  // namespace
}  // namespace rectest
