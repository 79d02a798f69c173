#include "core/v2_layout.h"

namespace afm3 {

uint32_t V2Header::pageCount() const {
  uint32_t n = 0;
  while (n < kV2MaxPages && pageOffset(n) != 0) ++n;
  return n;
}

V2RecordPlace v2RecordPlace(const V2Header& header, uint32_t record) {
  const uint32_t page = record / kV2RecordsPerPage;
  const uint32_t index = record % kV2RecordsPerPage;
  if (page >= header.pageCount()) return {0, 0, 0};
  const uint32_t base = header.pageOffset(page);
  return {base + index * kV2EntrySize, base + kV2NamesInPage + index * kV2NameSize,
          base + kV2KeywordsInPage + index * kV2KeywordSetSize};
}

}  // namespace afm3
