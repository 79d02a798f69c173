// The resource-script reader behind rcgen: what it accepts must come out as
// windres compiles it, and what it does not accept must stop the build.
#include "rcparse.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// Scripts and their includes live in memory.
class ScriptReader {
 public:
  void add(const std::string& path, const std::string& text) { files_[path] = text; }
  rcgen::ParseOptions options() const {
    rcgen::ParseOptions o;
    o.includeDirs = {"inc"};
    o.reader = [this](const std::string& path, std::string* text) {
      auto found = files_.find(path);
      if (found == files_.end()) return false;
      *text = found->second;
      return true;
    };
    return o;
  }

 private:
  std::map<std::string, std::string> files_;
};

bool parse(const std::string& text, rcgen::ResourceScript* out, std::string* error,
           const ScriptReader& reader = ScriptReader()) {
  return rcgen::parseScript(text, "dir/test.rc", reader.options(), out, error);
}

rcgen::ResourceScript parseOk(const std::string& text,
                              const ScriptReader& reader = ScriptReader()) {
  rcgen::ResourceScript script;
  std::string error;
  EXPECT_TRUE(parse(text, &script, &error, reader)) << error;
  return script;
}

TEST(RcParseTest, StringTableWithEscapesAndDefines) {
  ScriptReader reader;
  reader.add("dir/ids.h",
             "#ifndef IDS_H\n#define IDS_H\n#define IDS_FIRST 100 /* c */\n"
             "#define IDS_NEXT (IDS_FIRST + 1)\n#endif\n");
  const rcgen::ResourceScript script = parseOk(
      "#include <windows.h>\n"
      "#include \"ids.h\"\n"
      "#include \"ids.h\"  // guarded: no redefinition\n"
      "// a comment with \"quotes\"\n"
      "STRINGTABLE\n"
      "BEGIN\n"
      "  IDS_NEXT, \"tab\\there \"\"quoted\"\" back\\\\slash\"\n"
      "  IDS_FIRST \"line\\nbreak \\101\\x42 // not a comment\"\n"
      "  0x10, \"%lu of %s\"\n"
      "END\n",
      reader);
  ASSERT_EQ(script.strings.size(), 3u);
  EXPECT_EQ(script.strings[0].id, 16u);  // sorted by id
  EXPECT_EQ(script.strings[0].text, "%lu of %s");
  EXPECT_EQ(script.strings[1].id, 100u);
  EXPECT_EQ(script.strings[1].text, "line\nbreak AB // not a comment");
  EXPECT_EQ(script.strings[2].id, 101u);
  EXPECT_EQ(script.strings[2].text, "tab\there \"quoted\" back\\slash");
}

TEST(RcParseTest, IncludesSearchTheScriptFolderThenTheIncludeFolders) {
  ScriptReader reader;
  reader.add("inc/other.h", "#define IDS_X 7\n");
  const rcgen::ResourceScript script =
      parseOk("#include \"other.h\"\nSTRINGTABLE { IDS_X \"x\" }\n", reader);
  ASSERT_EQ(script.strings.size(), 1u);
  EXPECT_EQ(script.strings[0].id, 7u);
}

TEST(RcParseTest, ConditionalsSkipWhatIsNotSelected) {
  const rcgen::ResourceScript script = parseOk(
      "#define A\n"
      "#ifdef A\n#ifndef A\nthis is not parsed\n#else\n#define B 2\n#endif\n#else\n"
      "#define B 3\n#endif\n"
      "#undef A\n#ifdef A\n#define C 1\n#else\n#define C 9\n#endif\n"
      "STRINGTABLE BEGIN B \"b\" C \"c\" END\n");
  ASSERT_EQ(script.strings.size(), 2u);
  EXPECT_EQ(script.strings[0].id, 2u);
  EXPECT_EQ(script.strings[1].id, 9u);
}

TEST(RcParseTest, DialogWithControls) {
  const rcgen::ResourceScript script = parseOk(
      "#define IDC_STATIC (-1)\n"
      "#define IDD_X 300\n"
      "IDD_X DIALOGEX 1, 2, 200, 100\n"
      "STYLE DS_MODALFRAME | WS_POPUP\n"
      "EXSTYLE WS_EX_CONTROLPARENT\n"
      "CAPTION \"Title\"\n"
      "FONT 8, \"MS Shell Dlg\", 400, 0, 0x1\n"
      "BEGIN\n"
      "  LTEXT \"Label:\", IDC_STATIC, 7, 9, 50, 8\n"
      "  EDITTEXT 2001, 60, 7,\n"
      "           130, 12, ES_AUTOHSCROLL\n"
      "  CONTROL \"\", 6010, \"SysTabControl32\", WS_TABSTOP, 7, 30, 186, 40\n"
      "  DEFPUSHBUTTON \"OK\", IDOK, 90, 80, 50, 14\n"
      "END\n");
  ASSERT_EQ(script.dialogs.size(), 1u);
  const rcgen::DialogResource& d = script.dialogs[0];
  EXPECT_EQ(d.id, 300u);
  EXPECT_EQ(d.caption, "Title");
  EXPECT_EQ(d.fontSize, 8);
  EXPECT_EQ(d.fontName, "MS Shell Dlg");
  EXPECT_EQ(d.exStyle, 0x00010000u);
  // DS_MODALFRAME | WS_POPUP, plus WS_CAPTION for CAPTION and DS_SETFONT for FONT.
  EXPECT_EQ(d.style, 0x80C000C0u);
  EXPECT_EQ((std::vector<int>{d.x, d.y, d.width, d.height}), (std::vector<int>{1, 2, 200, 100}));
  ASSERT_EQ(d.controls.size(), 4u);
  EXPECT_EQ(d.controls[0].id, -1);
  EXPECT_EQ(d.controls[0].className, "STATIC");
  EXPECT_EQ(d.controls[0].text, "Label:");
  EXPECT_EQ(d.controls[1].id, 2001);
  EXPECT_EQ(d.controls[1].className, "EDIT");
  EXPECT_EQ(d.controls[1].width, 130);
  EXPECT_EQ(d.controls[2].className, "SysTabControl32");
  EXPECT_EQ(d.controls[3].id, 1);
  EXPECT_EQ(d.controls[3].className, "BUTTON");
}

// The style bits each statement yields, as windres compiles the same lines
// (read back from its output): what a statement implies alone, and what is
// left of it once a style list is given.
TEST(RcParseTest, ImpliedStylesMatchTheWindowsBuild) {
  struct Expectation {
    const char* statement;
    uint32_t style;
  };
  const Expectation expectations[] = {
      {"LTEXT \"a\", 1, 0, 0, 1, 1", 0x50020000u},
      {"RTEXT \"a\", 1, 0, 0, 1, 1", 0x50020002u},
      {"CTEXT \"a\", 1, 0, 0, 1, 1", 0x50020001u},
      {"PUSHBUTTON \"a\", 1, 0, 0, 1, 1", 0x50010000u},
      {"DEFPUSHBUTTON \"a\", 1, 0, 0, 1, 1", 0x50010001u},
      {"CHECKBOX \"a\", 1, 0, 0, 1, 1", 0x50010002u},
      {"AUTOCHECKBOX \"a\", 1, 0, 0, 1, 1", 0x50010003u},
      {"RADIOBUTTON \"a\", 1, 0, 0, 1, 1", 0x50010004u},
      {"AUTORADIOBUTTON \"a\", 1, 0, 0, 1, 1", 0x50010009u},
      {"GROUPBOX \"a\", 1, 0, 0, 1, 1", 0x50000007u},
      {"EDITTEXT 1, 0, 0, 1, 1", 0x50810000u},
      {"LISTBOX 1, 0, 0, 1, 1", 0x50800001u},
      {"COMBOBOX 1, 0, 0, 1, 1", 0x50010001u},
      {"CONTROL \"a\", 1, \"X\", 0, 0, 0, 1, 1", 0x50000000u},
      {"LTEXT \"a\", 1, 0, 0, 1, 1, WS_DISABLED", 0x58000000u},
      {"RADIOBUTTON \"a\", 1, 0, 0, 1, 1, WS_DISABLED", 0x58000004u},
      {"AUTORADIOBUTTON \"a\", 1, 0, 0, 1, 1, WS_DISABLED", 0x58000009u},
      {"PUSHBUTTON \"a\", 1, 0, 0, 1, 1, WS_DISABLED", 0x58010000u},
      {"EDITTEXT 1, 0, 0, 1, 1, WS_DISABLED", 0x58810000u},
      {"LISTBOX 1, 0, 0, 1, 1, WS_DISABLED", 0x58800001u},
      {"COMBOBOX 1, 0, 0, 1, 1, WS_DISABLED", 0x58000000u},
      {"COMBOBOX 1, 0, 0, 1, 1, CBS_DROPDOWNLIST | WS_VSCROLL", 0x50200003u},
      {"EDITTEXT 1, 0, 0, 1, 1, ES_READONLY | NOT WS_BORDER | NOT WS_TABSTOP", 0x50000800u},
      {"LTEXT \"a\", 1, 0, 0, 1, 1, SS_NOTIFY | NOT WS_GROUP", 0x50000100u},
      {"CONTROL \"a\", 1, \"X\", NOT WS_VISIBLE | WS_TABSTOP, 0, 0, 1, 1", 0x40010000u},
      {"CONTROL \"a\", 1, \"Button\", BS_AUTOCHECKBOX | WS_TABSTOP, 0, 0, 1, 1", 0x50010003u},
  };
  for (const Expectation& e : expectations) {
    const rcgen::ResourceScript script =
        parseOk(std::string("1 DIALOG 0, 0, 9, 9\nBEGIN\n  ") + e.statement + "\nEND\n");
    ASSERT_EQ(script.dialogs.size(), 1u) << e.statement;
    ASSERT_EQ(script.dialogs[0].controls.size(), 1u) << e.statement;
    EXPECT_EQ(script.dialogs[0].controls[0].style, e.style) << e.statement;
  }
  // Predefined classes are matched without regard to case.
  const rcgen::ResourceScript button =
      parseOk("1 DIALOG 0,0,9,9 BEGIN CONTROL \"a\", 1, \"Button\", 0, 0,0,1,1 END");
  EXPECT_EQ(button.dialogs[0].controls[0].className, "BUTTON");
}

TEST(RcParseTest, DialogStyleDefaultsAndAdditions) {
  const rcgen::ResourceScript script = parseOk(
      "1 DIALOG 0, 0, 9, 9\nBEGIN\nEND\n"
      "2 DIALOG 0, 0, 9, 9\nCAPTION \"x\"\nBEGIN\nEND\n"
      "3 DIALOGEX 0, 0, 9, 9\nSTYLE DS_MODALFRAME | WS_POPUP | NOT WS_POPUP | WS_CHILD\n{\n}\n");
  ASSERT_EQ(script.dialogs.size(), 3u);
  EXPECT_EQ(script.dialogs[0].style, 0x80880000u);  // WS_POPUP | WS_BORDER | WS_SYSMENU
  EXPECT_EQ(script.dialogs[1].style, 0x80C80000u);  // and WS_CAPTION
  EXPECT_EQ(script.dialogs[2].style, 0x40000080u);
}

TEST(RcParseTest, RefusesWhatItCannotTranslate) {
  struct Bad {
    const char* script;
    const char* message;  // part of the expected message, with its location
  };
  const Bad cases[] = {
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n  2 \"b\n END\n", "test.rc:4: unterminated string"},
      {"STRINGTABLE BEGIN\n1 \"a\"\n1 \"b\"\nEND\n", "test.rc:3: string 1 defined twice"},
      {"STRINGTABLE BEGIN 1 \"a\" \"b\" END\n", "adjacent strings"},
      {"STRINGTABLE BEGIN 1 L\"a\" END\n", "wide string"},
      {"STRINGTABLE BEGIN 1 \"\\q\" END\n", "unknown escape"},
      {"STRINGTABLE BEGIN 1 \"a\"\n", "STRINGTABLE without END"},
      {"STRINGTABLE BEGIN UNKNOWN_ID \"a\" END\n", "unknown name 'UNKNOWN_ID'"},
      {"\n\n1 MENU\nBEGIN\nEND\n", "test.rc:3: unsupported resource type 'MENU'"},
      {"ABOUT DIALOG 0,0,1,1\nBEGIN\nEND\n", "named resource 'ABOUT'"},
      {"LANGUAGE 9, 1\n", "unsupported statement 'LANGUAGE'"},
      {"1 DIALOG 0,0,1,1\nMENU 5\nBEGIN\nEND\n", "test.rc:2: unsupported dialog statement"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  ICON 1, 2, 0, 0\nEND\n", "unsupported control statement"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  LTEXT \"a\", 1, 0, 0, 1\nEND\n", "test.rc:4: expected ','"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  LTEXT \"a\", 1, 0,0,1,1, 0, 0, 7\nEND\n", "unexpected ','"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  LTEXT \"a\", 1, 0,0,1,1, SS_NOSUCH\nEND\n",
       "unknown name 'SS_NOSUCH'"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  CONTROL \"a\", 1, BUTTON, 0, 0,0,1,1\nEND\n",
       "control class as a string"},
      {"1 DIALOG 0,0,1,1\nBEGIN\nEND\n1 DIALOG 0,0,1,1\nBEGIN\nEND\n", "dialog 1 defined twice"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  LTEXT \"a\", 70000, 0,0,1,1\nEND\n", "out of range"},
      {"#if 1\n#endif\n", "test.rc:1: #if is not supported"},
      {"#define F(x) x\n", "function-like macros"},
      {"#define A 1\n#define A 2\n", "test.rc:2: 'A' redefined"},
      {"#ifdef A\n", "without #endif"},
      {"#endif\n", "#endif without #ifdef"},
      {"#include \"missing.h\"\n", "cannot find include file \"missing.h\""},
      {"#include <stdio.h>\n", "system header <stdio.h>"},
      {"#line 5\n", "unsupported directive #line"},
      {"#define A 1 \\\n", "line continuation"},
      {"/* open\n\n", "test.rc:1: unterminated comment"},
      {"1 DIALOG 0,0,1,1\nBEGIN\n  LTEXT \"a\", 1, 0,0,1,1 ;\nEND\n", "unexpected character ';'"},
  };
  for (const Bad& bad : cases) {
    rcgen::ResourceScript script;
    std::string error;
    EXPECT_FALSE(parse(bad.script, &script, &error)) << bad.script;
    EXPECT_NE(error.find(bad.message), std::string::npos) << "script:\n"
                                                          << bad.script << "\nmessage: " << error;
  }
}

TEST(RcParseTest, EmittedLiteralsSurviveTheCompiler) {
  rcgen::ResourceScript script;
  script.strings.push_back({5,
                            "q\"b\\s?\n\x95\x5C"
                            "7"});
  rcgen::DialogResource d;
  d.id = 9;
  d.caption = "Cap";
  script.dialogs.push_back(d);
  const std::string source = rcgen::emitTableSource(script, "x.rc");
  // Quote, backslash and question mark escaped; control and high bytes as
  // three-digit octal, so that a following digit cannot extend them.
  EXPECT_NE(source.find("{5u, \"q\\\"b\\\\s\\?\\012\\225\\\\7\"}"), std::string::npos) << source;
  // A dialog without controls points at no array.
  EXPECT_NE(source.find("{9u, \"Cap\", 0x00000000u, 0, 0, 0, 0, nullptr, 0}"), std::string::npos)
      << source;
  EXPECT_NE(source.find("qwinResourceTable(void)"), std::string::npos);
}

}  // namespace
