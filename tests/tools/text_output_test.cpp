// Texts the tool writes for other programs: JSON strings and HTML text are
// always valid in their format, whatever bytes an album holds.
#include <gtest/gtest.h>

#include "gallery_verb.h"
#include "json_output.h"

namespace {

TEST(TextOutput, JsonStringsEscapeAndTurnLatin1IntoCodePoints) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"tab\there\n", "\"tab\\u0009here\\u000a\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},             // UTF-8 stays
      {"caf\xE9", "\"caf\\u00e9\""},                  // Latin-1 byte
      {"\xC3\xA9\xE9", "\"\\u00c3\\u00a9\\u00e9\""},  // mixed: all Latin-1
      {"\xE2\x82", "\"\\u00e2\\u0082\""},             // cut sequence
  };
  for (const auto& c : cases) EXPECT_EQ(abm::jsonString(c.text), c.json) << c.text;

  abm::JsonWriter json;
  json.beginObject().key("a").beginArray().number(-1).flag(true).null().endArray();
  json.key("b").beginObject().endObject().key("c").value("x").endObject();
  EXPECT_EQ(json.text(), "{\"a\":[-1,true,null],\"b\":{},\"c\":\"x\"}");
}

TEST(TextOutput, HtmlTextAndFileLinksCarryAnyPath) {
  EXPECT_EQ(abm::htmlText("<a href=\"x\">&'</a>"),
            "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(abm::htmlText("caf\xE9"), "caf&#233;");
  EXPECT_EQ(abm::htmlText("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(abm::fileUrl("/home/me/My photos/a#1.jpg"), "file:///home/me/My%20photos/a%231.jpg");
  EXPECT_EQ(abm::fileUrl("C:\\Photos\\\xE9t\xE9.jpg"), "file:///C:/Photos/%E9t%E9.jpg");
}

}  // namespace
