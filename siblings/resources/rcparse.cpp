#include "rcparse.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace rcgen {

namespace {

// ---- failures ---------------------------------------------------------------
// Parsing stops at the first construct it does not understand; the message
// travels up as an exception and parseScript() turns it into its result.

struct Location {
  std::string file;
  int line = 0;
};

struct Failure {
  std::string message;
};

[[noreturn]] void fail(const Location& at, const std::string& what) {
  throw Failure{at.file + ":" + std::to_string(at.line) + ": " + what};
}

// ---- names the system headers would define ----------------------------------
// Scripts include <windows.h> and <commctrl.h> for windres; here their style
// and identifier names come from this table instead. A name missing from it
// is an error, never a silent zero.

struct NamedValue {
  const char* name;
  uint32_t value;
};

constexpr NamedValue kSystemNames[] = {
    // window styles
    {"WS_OVERLAPPED", 0x00000000u},
    {"WS_POPUP", 0x80000000u},
    {"WS_CHILD", 0x40000000u},
    {"WS_MINIMIZE", 0x20000000u},
    {"WS_VISIBLE", 0x10000000u},
    {"WS_DISABLED", 0x08000000u},
    {"WS_CLIPSIBLINGS", 0x04000000u},
    {"WS_CLIPCHILDREN", 0x02000000u},
    {"WS_MAXIMIZE", 0x01000000u},
    {"WS_CAPTION", 0x00C00000u},
    {"WS_BORDER", 0x00800000u},
    {"WS_DLGFRAME", 0x00400000u},
    {"WS_VSCROLL", 0x00200000u},
    {"WS_HSCROLL", 0x00100000u},
    {"WS_SYSMENU", 0x00080000u},
    {"WS_THICKFRAME", 0x00040000u},
    {"WS_SIZEBOX", 0x00040000u},
    {"WS_GROUP", 0x00020000u},
    {"WS_TABSTOP", 0x00010000u},
    {"WS_MINIMIZEBOX", 0x00020000u},
    {"WS_MAXIMIZEBOX", 0x00010000u},
    {"WS_POPUPWINDOW", 0x80880000u},
    // extended window styles
    {"WS_EX_DLGMODALFRAME", 0x00000001u},
    {"WS_EX_NOPARENTNOTIFY", 0x00000004u},
    {"WS_EX_TOPMOST", 0x00000008u},
    {"WS_EX_ACCEPTFILES", 0x00000010u},
    {"WS_EX_TRANSPARENT", 0x00000020u},
    {"WS_EX_TOOLWINDOW", 0x00000080u},
    {"WS_EX_WINDOWEDGE", 0x00000100u},
    {"WS_EX_CLIENTEDGE", 0x00000200u},
    {"WS_EX_CONTEXTHELP", 0x00000400u},
    {"WS_EX_RIGHT", 0x00001000u},
    {"WS_EX_CONTROLPARENT", 0x00010000u},
    {"WS_EX_STATICEDGE", 0x00020000u},
    {"WS_EX_APPWINDOW", 0x00040000u},
    // dialog styles
    {"DS_ABSALIGN", 0x0001u},
    {"DS_SYSMODAL", 0x0002u},
    {"DS_3DLOOK", 0x0004u},
    {"DS_FIXEDSYS", 0x0008u},
    {"DS_NOFAILCREATE", 0x0010u},
    {"DS_LOCALEDIT", 0x0020u},
    {"DS_SETFONT", 0x0040u},
    {"DS_MODALFRAME", 0x0080u},
    {"DS_NOIDLEMSG", 0x0100u},
    {"DS_SETFOREGROUND", 0x0200u},
    {"DS_CONTROL", 0x0400u},
    {"DS_CENTER", 0x0800u},
    {"DS_CENTERMOUSE", 0x1000u},
    {"DS_CONTEXTHELP", 0x2000u},
    {"DS_SHELLFONT", 0x0048u},
    // edit controls
    {"ES_LEFT", 0x0000u},
    {"ES_CENTER", 0x0001u},
    {"ES_RIGHT", 0x0002u},
    {"ES_MULTILINE", 0x0004u},
    {"ES_UPPERCASE", 0x0008u},
    {"ES_LOWERCASE", 0x0010u},
    {"ES_PASSWORD", 0x0020u},
    {"ES_AUTOVSCROLL", 0x0040u},
    {"ES_AUTOHSCROLL", 0x0080u},
    {"ES_NOHIDESEL", 0x0100u},
    {"ES_OEMCONVERT", 0x0400u},
    {"ES_READONLY", 0x0800u},
    {"ES_WANTRETURN", 0x1000u},
    {"ES_NUMBER", 0x2000u},
    // buttons
    {"BS_PUSHBUTTON", 0x0000u},
    {"BS_DEFPUSHBUTTON", 0x0001u},
    {"BS_CHECKBOX", 0x0002u},
    {"BS_AUTOCHECKBOX", 0x0003u},
    {"BS_RADIOBUTTON", 0x0004u},
    {"BS_3STATE", 0x0005u},
    {"BS_AUTO3STATE", 0x0006u},
    {"BS_GROUPBOX", 0x0007u},
    {"BS_AUTORADIOBUTTON", 0x0009u},
    {"BS_OWNERDRAW", 0x000Bu},
    {"BS_LEFTTEXT", 0x0020u},
    {"BS_ICON", 0x0040u},
    {"BS_BITMAP", 0x0080u},
    {"BS_LEFT", 0x0100u},
    {"BS_RIGHT", 0x0200u},
    {"BS_CENTER", 0x0300u},
    {"BS_TOP", 0x0400u},
    {"BS_BOTTOM", 0x0800u},
    {"BS_VCENTER", 0x0C00u},
    {"BS_PUSHLIKE", 0x1000u},
    {"BS_MULTILINE", 0x2000u},
    {"BS_NOTIFY", 0x4000u},
    {"BS_FLAT", 0x8000u},
    // static controls
    {"SS_LEFT", 0x0000u},
    {"SS_CENTER", 0x0001u},
    {"SS_RIGHT", 0x0002u},
    {"SS_ICON", 0x0003u},
    {"SS_BLACKRECT", 0x0004u},
    {"SS_GRAYRECT", 0x0005u},
    {"SS_WHITERECT", 0x0006u},
    {"SS_BLACKFRAME", 0x0007u},
    {"SS_GRAYFRAME", 0x0008u},
    {"SS_WHITEFRAME", 0x0009u},
    {"SS_SIMPLE", 0x000Bu},
    {"SS_LEFTNOWORDWRAP", 0x000Cu},
    {"SS_ETCHEDHORZ", 0x0010u},
    {"SS_ETCHEDVERT", 0x0011u},
    {"SS_ETCHEDFRAME", 0x0012u},
    {"SS_NOPREFIX", 0x0080u},
    {"SS_NOTIFY", 0x0100u},
    {"SS_CENTERIMAGE", 0x0200u},
    {"SS_SUNKEN", 0x1000u},
    {"SS_ENDELLIPSIS", 0x4000u},
    {"SS_PATHELLIPSIS", 0x8000u},
    {"SS_WORDELLIPSIS", 0xC000u},
    // list boxes
    {"LBS_NOTIFY", 0x0001u},
    {"LBS_SORT", 0x0002u},
    {"LBS_NOREDRAW", 0x0004u},
    {"LBS_MULTIPLESEL", 0x0008u},
    {"LBS_HASSTRINGS", 0x0040u},
    {"LBS_USETABSTOPS", 0x0080u},
    {"LBS_NOINTEGRALHEIGHT", 0x0100u},
    {"LBS_MULTICOLUMN", 0x0200u},
    {"LBS_WANTKEYBOARDINPUT", 0x0400u},
    {"LBS_EXTENDEDSEL", 0x0800u},
    {"LBS_DISABLENOSCROLL", 0x1000u},
    {"LBS_NOSEL", 0x4000u},
    {"LBS_STANDARD", 0x00A00003u},
    // combo boxes
    {"CBS_SIMPLE", 0x0001u},
    {"CBS_DROPDOWN", 0x0002u},
    {"CBS_DROPDOWNLIST", 0x0003u},
    {"CBS_AUTOHSCROLL", 0x0040u},
    {"CBS_OEMCONVERT", 0x0080u},
    {"CBS_SORT", 0x0100u},
    {"CBS_HASSTRINGS", 0x0200u},
    {"CBS_NOINTEGRALHEIGHT", 0x0400u},
    {"CBS_DISABLENOSCROLL", 0x0800u},
    {"CBS_UPPERCASE", 0x2000u},
    {"CBS_LOWERCASE", 0x4000u},
    // tab controls
    {"TCS_SCROLLOPPOSITE", 0x0001u},
    {"TCS_BOTTOM", 0x0002u},
    {"TCS_RIGHT", 0x0002u},
    {"TCS_MULTISELECT", 0x0004u},
    {"TCS_FLATBUTTONS", 0x0008u},
    {"TCS_FORCEICONLEFT", 0x0010u},
    {"TCS_FORCELABELLEFT", 0x0020u},
    {"TCS_HOTTRACK", 0x0040u},
    {"TCS_VERTICAL", 0x0080u},
    {"TCS_TABS", 0x0000u},
    {"TCS_BUTTONS", 0x0100u},
    {"TCS_SINGLELINE", 0x0000u},
    {"TCS_MULTILINE", 0x0200u},
    {"TCS_RIGHTJUSTIFY", 0x0000u},
    {"TCS_FIXEDWIDTH", 0x0400u},
    {"TCS_RAGGEDRIGHT", 0x0800u},
    {"TCS_FOCUSONBUTTONDOWN", 0x1000u},
    {"TCS_OWNERDRAWFIXED", 0x2000u},
    {"TCS_TOOLTIPS", 0x4000u},
    {"TCS_FOCUSNEVER", 0x8000u},
    // list views
    {"LVS_ICON", 0x0000u},
    {"LVS_REPORT", 0x0001u},
    {"LVS_SMALLICON", 0x0002u},
    {"LVS_LIST", 0x0003u},
    {"LVS_SINGLESEL", 0x0004u},
    {"LVS_SHOWSELALWAYS", 0x0008u},
    {"LVS_SORTASCENDING", 0x0010u},
    {"LVS_SORTDESCENDING", 0x0020u},
    {"LVS_SHAREIMAGELISTS", 0x0040u},
    {"LVS_NOLABELWRAP", 0x0080u},
    {"LVS_AUTOARRANGE", 0x0100u},
    {"LVS_EDITLABELS", 0x0200u},
    {"LVS_NOSCROLL", 0x2000u},
    {"LVS_ALIGNTOP", 0x0000u},
    {"LVS_ALIGNLEFT", 0x0800u},
    {"LVS_NOCOLUMNHEADER", 0x4000u},
    {"LVS_NOSORTHEADER", 0x8000u},
    // dialog command identifiers
    {"IDOK", 1},
    {"IDCANCEL", 2},
    {"IDABORT", 3},
    {"IDRETRY", 4},
    {"IDIGNORE", 5},
    {"IDYES", 6},
    {"IDNO", 7},
    {"IDCLOSE", 8},
    {"IDHELP", 9},
};

// System headers whose names the table above stands for.
constexpr const char* kSystemHeaders[] = {"windows.h", "winuser.h", "commctrl.h", "winresrc.h",
                                          "winres.h"};

const NamedValue* findSystemName(const std::string& name) {
  for (const NamedValue& entry : kSystemNames) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

constexpr uint32_t kWsChild = 0x40000000u;
constexpr uint32_t kWsVisible = 0x10000000u;
constexpr uint32_t kWsPopup = 0x80000000u;
constexpr uint32_t kWsBorder = 0x00800000u;
constexpr uint32_t kWsSysMenu = 0x00080000u;
constexpr uint32_t kWsCaption = 0x00C00000u;
constexpr uint32_t kWsGroup = 0x00020000u;
constexpr uint32_t kWsTabStop = 0x00010000u;
constexpr uint32_t kDsSetFont = 0x0040u;

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// ---- tokens -------------------------------------------------------------------

enum class TokenKind { Identifier, Number, String, Punct };

struct Token {
  TokenKind kind = TokenKind::Punct;
  std::string text;  // identifier, punctuation character, or the decoded string
  int64_t number = 0;
  Location at;
};

bool isIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Decodes the string literal that starts at line[pos] (the opening quote);
// pos ends after the closing quote. A doubled quote stands for one quote,
// as in the resource compiler; C escapes are resolved too.
std::string readString(const std::string& line, size_t* pos, const Location& at) {
  std::string text;
  size_t i = *pos + 1;
  for (;;) {
    if (i >= line.size()) fail(at, "unterminated string");
    const char c = line[i];
    if (c == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        text += '"';
        i += 2;
        continue;
      }
      *pos = i + 1;
      return text;
    }
    if (c != '\\') {
      text += c;
      ++i;
      continue;
    }
    if (i + 1 >= line.size()) fail(at, "unterminated string");
    const char e = line[i + 1];
    i += 2;
    static const char kEscapes[] = "ntrabfv\\\"'?";
    static const char kMeanings[] = "\n\t\r\a\b\f\v\\\"'?";
    if (const char* simple = std::strchr(kEscapes, e); simple != nullptr && e != '\0') {
      text += kMeanings[simple - kEscapes];
      continue;
    }
    if (e == 'x') {
      int value = 0, digits = 0;
      while (digits < 2 && i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
        const char h = line[i++];
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(h))
                                  ? h - '0'
                                  : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
        ++digits;
      }
      if (digits == 0) fail(at, "\\x escape without hex digits");
      if (value == 0) fail(at, "a NUL character cannot be part of a string resource");
      text += static_cast<char>(value);
      continue;
    }
    if (e >= '0' && e <= '7') {
      int value = e - '0', digits = 1;
      while (digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7') {
        value = value * 8 + (line[i++] - '0');
        ++digits;
      }
      if (value > 0xFF) fail(at, "octal escape out of range");
      if (value == 0) fail(at, "a NUL character cannot be part of a string resource");
      text += static_cast<char>(value);
      continue;
    }
    fail(at, std::string("unknown escape \\") + e);
  }
}

int64_t readNumber(const std::string& line, size_t* pos, const Location& at) {
  size_t i = *pos;
  int64_t value = 0;
  if (line[i] == '0' && i + 1 < line.size() && (line[i + 1] == 'x' || line[i + 1] == 'X')) {
    i += 2;
    const size_t start = i;
    while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
      const char h = line[i++];
      value = value * 16 + (std::isdigit(static_cast<unsigned char>(h))
                                ? h - '0'
                                : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
      if (value > 0xFFFFFFFFll) fail(at, "number out of range");
    }
    if (i == start) fail(at, "hex number without digits");
  } else {
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) {
      value = value * 10 + (line[i++] - '0');
      if (value > 0xFFFFFFFFll) fail(at, "number out of range");
    }
  }
  // The resource compiler accepts C suffixes on numbers.
  while (i < line.size() && (line[i] == 'L' || line[i] == 'l' || line[i] == 'U' || line[i] == 'u'))
    ++i;
  if (i < line.size() && isIdentChar(line[i])) fail(at, "malformed number");
  *pos = i;
  return value;
}

void tokenizeLine(const std::string& line, const Location& at, std::vector<Token>* out) {
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    Token token;
    token.at = at;
    if (c == '"') {
      token.kind = TokenKind::String;
      token.text = readString(line, &i, at);
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      token.kind = TokenKind::Number;
      token.number = readNumber(line, &i, at);
    } else if (isIdentStart(c)) {
      if (c == 'L' && i + 1 < line.size() && line[i + 1] == '"')
        fail(at, "wide string literals are not supported");
      const size_t start = i;
      while (i < line.size() && isIdentChar(line[i])) ++i;
      token.kind = TokenKind::Identifier;
      token.text = line.substr(start, i - start);
    } else if (std::string(",|()+-~{}").find(c) != std::string::npos) {
      token.kind = TokenKind::Punct;
      token.text = std::string(1, c);
      ++i;
    } else {
      fail(at, std::string("unexpected character '") + c + "'");
    }
    out->push_back(token);
  }
}

// Replaces comments by blanks, keeping line breaks (so that line numbers
// stay right) and leaving string literals alone.
std::string stripComments(const std::string& text, const std::string& fileName) {
  std::string out;
  out.reserve(text.size());
  int line = 1;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (c == '"') {
      // Copy the literal; a doubled quote or a backslash escape does not end it.
      out += c;
      ++i;
      while (i < text.size() && text[i] != '\n') {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] != '\n') {
          out += text.substr(i, 2);
          i += 2;
          continue;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            out += "\"\"";
            i += 2;
            continue;
          }
          out += '"';
          ++i;
          break;
        }
        out += text[i++];
      }
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const int startLine = line;
      i += 2;
      while (i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/')) {
        if (text[i] == '\n') {
          out += '\n';
          ++line;
        }
        ++i;
      }
      if (i + 1 >= text.size()) fail({fileName, startLine}, "unterminated comment");
      i += 2;
      out += ' ';
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool readDiskFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return true;
}

// ---- preprocessor -----------------------------------------------------------

class Preprocessor {
 public:
  explicit Preprocessor(const ParseOptions& options) : options_(options) {
    if (!options_.reader) options_.reader = readDiskFile;
  }

  void run(const std::string& text, const std::string& fileName, int depth) {
    if (depth > 16) fail({fileName, 1}, "#include nested too deeply");
    const std::string clean = stripComments(text, fileName);
    const size_t conditionDepth = conditions_.size();
    std::istringstream lines(clean);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const Location at{fileName, number};
      const size_t first = line.find_first_not_of(" \t");
      if (first != std::string::npos && line[first] == '#') {
        directive(line.substr(first + 1), at, depth);
        continue;
      }
      if (!active()) continue;
      std::vector<Token> raw;
      tokenizeLine(line, at, &raw);
      for (const Token& token : raw) {
        std::set<std::string> expanding;
        expand(token, at, &expanding);
      }
    }
    if (conditions_.size() != conditionDepth)
      fail(conditions_.back().at, "#ifdef or #ifndef without #endif");
  }

  std::vector<Token> tokens;

 private:
  struct Condition {
    bool parentActive;
    bool value;
    bool inElse;
    Location at;
  };

  bool active() const {
    return conditions_.empty() ||
           (conditions_.back().parentActive &&
            (conditions_.back().inElse ? !conditions_.back().value : conditions_.back().value));
  }

  static std::string readName(const std::string& rest, size_t* pos, const Location& at,
                              const char* directiveName) {
    size_t i = rest.find_first_not_of(" \t", *pos);
    if (i == std::string::npos || !isIdentStart(rest[i]))
      fail(at, std::string("#") + directiveName + " needs a name");
    const size_t start = i;
    while (i < rest.size() && isIdentChar(rest[i])) ++i;
    *pos = i;
    return rest.substr(start, i - start);
  }

  static void expectNothingMore(const std::string& rest, size_t pos, const Location& at,
                                const char* directiveName) {
    if (rest.find_first_not_of(" \t", pos) != std::string::npos)
      fail(at, std::string("unexpected text after #") + directiveName);
  }

  void directive(const std::string& body, const Location& at, int depth) {
    if (!body.empty() && body.back() == '\\') fail(at, "line continuation is not supported");
    size_t pos = body.find_first_not_of(" \t");
    if (pos == std::string::npos) return;  // a lone '#' is a null directive
    const size_t start = pos;
    while (pos < body.size() && isIdentChar(body[pos])) ++pos;
    const std::string name = body.substr(start, pos - start);

    if (name == "ifdef" || name == "ifndef") {
      const std::string macro = readName(body, &pos, at, name.c_str());
      expectNothingMore(body, pos, at, name.c_str());
      const bool defined = macros_.count(macro) != 0;
      conditions_.push_back({active(), name == "ifdef" ? defined : !defined, false, at});
      return;
    }
    if (name == "else") {
      if (conditions_.empty() || conditions_.back().inElse) fail(at, "#else without #ifdef");
      conditions_.back().inElse = true;
      return;
    }
    if (name == "endif") {
      if (conditions_.empty()) fail(at, "#endif without #ifdef");
      conditions_.pop_back();
      return;
    }
    if (name == "if" || name == "elif")
      fail(at, "#" + name + " is not supported (use #ifdef or #ifndef)");
    if (!active()) return;

    if (name == "include") {
      include(body.substr(pos), at, depth);
    } else if (name == "define") {
      const std::string macro = readName(body, &pos, at, "define");
      if (pos < body.size() && body[pos] == '(') fail(at, "function-like macros are not supported");
      std::vector<Token> value;
      tokenizeLine(body.substr(pos), at, &value);
      auto found = macros_.find(macro);
      if (found != macros_.end() && !sameTokens(found->second, value))
        fail(at, "'" + macro + "' redefined with a different value");
      macros_[macro] = value;
    } else if (name == "undef") {
      const std::string macro = readName(body, &pos, at, "undef");
      expectNothingMore(body, pos, at, "undef");
      macros_.erase(macro);
    } else if (name == "pragma") {
      const size_t p = body.find_first_not_of(" \t", pos);
      if (p == std::string::npos || body.compare(p, 9, "code_page") != 0)
        fail(at, "unsupported #pragma");
    } else if (name == "error") {
      fail(at, "#error" + body.substr(pos));
    } else {
      fail(at, "unsupported directive #" + name);
    }
  }

  static bool sameTokens(const std::vector<Token>& a, const std::vector<Token>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i].kind != b[i].kind || a[i].text != b[i].text || a[i].number != b[i].number)
        return false;
    }
    return true;
  }

  void include(const std::string& rest, const Location& at, int depth) {
    const size_t open = rest.find_first_not_of(" \t");
    if (open == std::string::npos) fail(at, "#include needs a file name");
    const char close = rest[open] == '"' ? '"' : rest[open] == '<' ? '>' : '\0';
    if (close == '\0') fail(at, "#include needs \"file\" or <file>");
    const size_t end = rest.find(close, open + 1);
    if (end == std::string::npos) fail(at, "unterminated #include file name");
    expectNothingMore(rest, end + 1, at, "include");
    const std::string name = rest.substr(open + 1, end - open - 1);
    if (close == '>') {
      for (const char* header : kSystemHeaders) {
        if (upper(name) == upper(header)) return;  // names built in
      }
      fail(at, "system header <" + name + "> is not supported");
    }
    std::vector<std::string> candidates;
    if (!name.empty() && name[0] == '/') {
      candidates.push_back(name);
    } else {
      candidates.push_back(folderOf(at.file) + name);
      for (const std::string& dir : options_.includeDirs) {
        candidates.push_back(dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name);
      }
    }
    for (const std::string& candidate : candidates) {
      std::string text;
      if (options_.reader(candidate, &text)) {
        run(text, candidate, depth + 1);
        return;
      }
    }
    fail(at, "cannot find include file \"" + name + "\"");
  }

  void expand(const Token& token, const Location& at, std::set<std::string>* expanding) {
    if (token.kind == TokenKind::Identifier && expanding->count(token.text) == 0) {
      auto found = macros_.find(token.text);
      if (found != macros_.end()) {
        expanding->insert(token.text);
        for (Token part : found->second) {
          part.at = at;  // errors point at the use, not the definition
          expand(part, at, expanding);
        }
        expanding->erase(token.text);
        return;
      }
    }
    tokens.push_back(token);
  }

  ParseOptions options_;
  std::map<std::string, std::vector<Token>> macros_;
  std::vector<Condition> conditions_;
};

// ---- statements ---------------------------------------------------------------

class Parser {
 public:
  Parser(std::vector<Token> tokens, Location end) : tokens_(std::move(tokens)), end_(end) {}

  ResourceScript parse() {
    ResourceScript script;
    while (!atEnd()) {
      if (isKeyword("STRINGTABLE")) {
        next();
        stringTable(&script);
        continue;
      }
      const Token& first = peek();
      if (first.kind == TokenKind::Identifier && findSystemName(first.text) == nullptr) {
        if (peek(1).kind == TokenKind::Identifier && isResourceType(peek(1).text))
          fail(first.at, "named resource '" + first.text + "' is not supported (use a number)");
        fail(first.at, "unsupported statement '" + first.text + "'");
      }
      const Location at = first.at;
      const int64_t id = expression();
      if (id < 1 || id > 0xFFFF) fail(at, "resource identifier out of range");
      const Token type = next();
      if (type.kind != TokenKind::Identifier) fail(type.at, "expected a resource type");
      const std::string kind = upper(type.text);
      if (kind == "DIALOG" || kind == "DIALOGEX") {
        dialog(static_cast<uint32_t>(id), kind == "DIALOGEX", at, &script);
      } else {
        fail(type.at, "unsupported resource type '" + type.text + "'");
      }
    }
    std::sort(script.strings.begin(), script.strings.end(),
              [](const StringResource& a, const StringResource& b) { return a.id < b.id; });
    std::sort(script.dialogs.begin(), script.dialogs.end(),
              [](const DialogResource& a, const DialogResource& b) { return a.id < b.id; });
    return script;
  }

 private:
  static bool isResourceType(const std::string& name) {
    static const char* const kTypes[] = {"DIALOG",       "DIALOGEX",    "MENU",   "MENUEX",
                                         "ACCELERATORS", "ICON",        "BITMAP", "CURSOR",
                                         "RCDATA",       "VERSIONINFO", "FONT",   "HTML"};
    const std::string u = upper(name);
    for (const char* type : kTypes) {
      if (u == type) return true;
    }
    return false;
  }

  bool atEnd() const { return pos_ >= tokens_.size(); }

  const Token& peek(size_t ahead = 0) const {
    static const Token kNone;
    return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead] : kNone;
  }

  Token next() {
    if (atEnd()) fail(end_, "unexpected end of file");
    return tokens_[pos_++];
  }

  bool isKeyword(const char* keyword) const {
    return !atEnd() && peek().kind == TokenKind::Identifier && upper(peek().text) == keyword;
  }

  bool isPunct(char c) const {
    return !atEnd() && peek().kind == TokenKind::Punct && peek().text[0] == c;
  }

  Location here() const { return atEnd() ? end_ : peek().at; }

  void expectComma(const char* what) {
    if (!isPunct(',')) fail(here(), std::string("expected ',' before ") + what);
    next();
  }

  bool isBegin() const { return isKeyword("BEGIN") || isPunct('{'); }
  bool isEnd() const { return isKeyword("END") || isPunct('}'); }

  void expectBegin(const char* what) {
    if (!isBegin()) fail(here(), std::string("expected BEGIN of ") + what);
    next();
  }

  std::string expectString(const char* what) {
    if (atEnd() || peek().kind != TokenKind::String)
      fail(here(), std::string("expected a string for ") + what);
    return next().text;
  }

  // ---- expressions
  int64_t primary() {
    const Token token = next();
    if (token.kind == TokenKind::Number) return token.number;
    if (token.kind == TokenKind::Identifier) {
      if (upper(token.text) == "NOT") fail(token.at, "NOT is only allowed in a style list");
      const NamedValue* named = findSystemName(token.text);
      if (named == nullptr) fail(token.at, "unknown name '" + token.text + "'");
      return named->value;
    }
    if (token.kind == TokenKind::Punct) {
      switch (token.text[0]) {
        case '(': {
          const int64_t value = expression();
          if (!isPunct(')')) fail(here(), "expected ')'");
          next();
          return value;
        }
        case '-':
          return -primary();
        case '+':
          return primary();
        case '~':
          return static_cast<int64_t>(~static_cast<uint32_t>(primary()));
        default:
          break;
      }
    }
    fail(token.at, "expected a number");
  }

  int64_t additive() {
    int64_t value = primary();
    while (isPunct('+') || isPunct('-')) {
      const bool plus = next().text[0] == '+';
      const int64_t right = primary();
      value = plus ? value + right : value - right;
    }
    return value;
  }

  int64_t expression() {
    int64_t value = additive();
    while (isPunct('|')) {
      next();
      value =
          static_cast<int64_t>(static_cast<uint32_t>(value) | static_cast<uint32_t>(additive()));
    }
    return value;
  }

  // A style list: the implied styles of the statement, with each term added
  // and each "NOT term" taken away, in order.
  uint32_t styleList(uint32_t implied) {
    uint32_t style = implied;
    for (;;) {
      if (isKeyword("NOT")) {
        next();
        style &= ~static_cast<uint32_t>(additive());
      } else {
        style |= static_cast<uint32_t>(additive());
      }
      if (!isPunct('|')) return style;
      next();
    }
  }

  int coordinate(const char* what) {
    const Location at = here();
    const int64_t value = expression();
    if (value < -32768 || value > 32767) fail(at, std::string(what) + " out of range");
    return static_cast<int>(value);
  }

  int controlId() {
    const Location at = here();
    const int64_t value = expression();
    if (value < -1 || value > 0xFFFF) fail(at, "control identifier out of range");
    return static_cast<int>(value);
  }

  // ---- STRINGTABLE
  void stringTable(ResourceScript* script) {
    expectBegin("STRINGTABLE");
    while (!isEnd()) {
      if (atEnd()) fail(end_, "STRINGTABLE without END");
      const Location at = here();
      const int64_t id = expression();
      if (id < 0 || id > 0xFFFF) fail(at, "string identifier out of range");
      if (isPunct(',')) next();
      std::string text = expectString("a string table entry");
      if (!atEnd() && peek().kind == TokenKind::String)
        fail(here(), "adjacent strings are not joined in a string table; write one string");
      for (const StringResource& existing : script->strings) {
        if (existing.id == id) fail(at, "string " + std::to_string(id) + " defined twice");
      }
      script->strings.push_back({static_cast<uint32_t>(id), std::move(text)});
    }
    next();
  }

  // ---- DIALOG / DIALOGEX
  void dialog(uint32_t id, bool extended, const Location& at, ResourceScript* script) {
    for (const DialogResource& existing : script->dialogs) {
      if (existing.id == id) fail(at, "dialog " + std::to_string(id) + " defined twice");
    }
    DialogResource d;
    d.id = id;
    d.extended = extended;
    d.x = coordinate("x");
    expectComma("y");
    d.y = coordinate("y");
    expectComma("width");
    d.width = coordinate("width");
    expectComma("height");
    d.height = coordinate("height");
    if (extended && isPunct(',')) {
      next();
      expression();  // help context: nothing here uses it
    }
    d.style = kWsPopup | kWsBorder | kWsSysMenu;
    bool hasCaption = false;
    while (!isBegin()) {
      if (atEnd()) fail(end_, "dialog without BEGIN");
      const Token statement = next();
      const std::string kw = statement.kind == TokenKind::Identifier ? upper(statement.text) : "";
      if (kw == "STYLE") {
        d.style = styleList(0);
      } else if (kw == "EXSTYLE") {
        d.exStyle = static_cast<uint32_t>(expression());
      } else if (kw == "CAPTION") {
        d.caption = expectString("CAPTION");
        hasCaption = true;
      } else if (kw == "FONT") {
        d.fontSize = coordinate("font size");
        expectComma("the font name");
        d.fontName = expectString("FONT");
        if (extended) {
          for (int extra = 0; extra < 3 && isPunct(','); ++extra) {
            next();
            expression();  // weight, italic, character set
          }
        }
      } else {
        fail(statement.at, "unsupported dialog statement '" + statement.text + "'");
      }
    }
    next();
    // The template records what the statements imply.
    if (hasCaption) d.style |= kWsCaption;
    if (d.fontSize != 0) d.style |= kDsSetFont;
    while (!isEnd()) {
      if (atEnd()) fail(end_, "dialog without END");
      d.controls.push_back(control(extended));
    }
    next();
    script->dialogs.push_back(std::move(d));
  }

  // The styles a control statement implies, besides WS_CHILD | WS_VISIBLE:
  // one set when the statement gives no style, and the set its given style
  // list starts from (windres drops WS_GROUP from text controls, WS_TABSTOP
  // from radio buttons and everything from combo boxes once a style is
  // given; both builds must agree on the bits).
  struct ControlKind {
    const char* keyword;
    const char* className;
    uint32_t impliedAlone;
    uint32_t impliedWithStyle;
    bool hasText;
  };

  ControlResource control(bool extended) {
    static const ControlKind kKinds[] = {
        {"LTEXT", "STATIC", 0x0000u | kWsGroup, 0x0000u, true},
        {"RTEXT", "STATIC", 0x0002u | kWsGroup, 0x0002u, true},
        {"CTEXT", "STATIC", 0x0001u | kWsGroup, 0x0001u, true},
        {"PUSHBUTTON", "BUTTON", 0x0000u | kWsTabStop, 0x0000u | kWsTabStop, true},
        {"DEFPUSHBUTTON", "BUTTON", 0x0001u | kWsTabStop, 0x0001u | kWsTabStop, true},
        {"CHECKBOX", "BUTTON", 0x0002u | kWsTabStop, 0x0002u | kWsTabStop, true},
        {"AUTOCHECKBOX", "BUTTON", 0x0003u | kWsTabStop, 0x0003u | kWsTabStop, true},
        {"RADIOBUTTON", "BUTTON", 0x0004u | kWsTabStop, 0x0004u, true},
        {"AUTORADIOBUTTON", "BUTTON", 0x0009u | kWsTabStop, 0x0009u, true},
        {"GROUPBOX", "BUTTON", 0x0007u, 0x0007u, true},
        {"EDITTEXT", "EDIT", 0x0000u | kWsBorder | kWsTabStop, 0x0000u | kWsBorder | kWsTabStop,
         false},
        {"LISTBOX", "LISTBOX", 0x0001u | kWsBorder, 0x0001u | kWsBorder, false},
        {"COMBOBOX", "COMBOBOX", 0x0001u | kWsTabStop, 0x0000u, false},
    };
    const Token statement = next();
    const std::string kw = statement.kind == TokenKind::Identifier ? upper(statement.text) : "";
    ControlResource c;
    if (kw == "CONTROL") {
      c.text = expectString("the CONTROL text");
      expectComma("the control identifier");
      c.id = controlId();
      expectComma("the control class");
      c.className = controlClass();
      expectComma("the control style");
      c.style = styleList(kWsChild | kWsVisible);
      expectComma("x");
      position(&c);
      if (isPunct(',')) {
        next();
        c.exStyle = static_cast<uint32_t>(expression());
      }
    } else {
      const ControlKind* kind = nullptr;
      for (const ControlKind& k : kKinds) {
        if (kw == k.keyword) kind = &k;
      }
      if (kind == nullptr)
        fail(statement.at, "unsupported control statement '" + statement.text + "'");
      c.className = kind->className;
      if (kind->hasText) {
        c.text = expectString(kind->keyword);
        expectComma("the control identifier");
      }
      c.id = controlId();
      expectComma("x");
      position(&c);
      c.style = kWsChild | kWsVisible | kind->impliedAlone;
      if (isPunct(',')) {
        next();
        c.style = styleList(kWsChild | kWsVisible | kind->impliedWithStyle);
        if (isPunct(',')) {
          next();
          c.exStyle = static_cast<uint32_t>(expression());
        }
      }
    }
    if (isPunct(','))
      fail(here(), extended ? "control help identifiers are not supported" : "unexpected ','");
    return c;
  }

  void position(ControlResource* c) {
    c->x = coordinate("x");
    expectComma("y");
    c->y = coordinate("y");
    expectComma("width");
    c->width = coordinate("width");
    expectComma("height");
    c->height = coordinate("height");
  }

  // The class of a CONTROL statement: a string. The predefined classes are
  // stored by their atoms in a template, so their names are not
  // case-sensitive; they are kept here in capitals.
  std::string controlClass() {
    const Token token = next();
    if (token.kind != TokenKind::String || token.text.empty())
      fail(token.at, "expected the control class as a string");
    const std::string u = upper(token.text);
    for (const char* known : {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"}) {
      if (u == known) return u;
    }
    return token.text;
  }

  std::vector<Token> tokens_;
  size_t pos_ = 0;
  Location end_;
};

// ---- emission ---------------------------------------------------------------

std::string literal(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\' || c == '?') {
      out += '\\';
      out += ch;
    } else if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    }
  }
  return out + "\"";
}

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08Xu", value);
  return buffer;
}

}  // namespace

bool parseScript(const std::string& text, const std::string& fileName, const ParseOptions& options,
                 ResourceScript* out, std::string* error) {
  try {
    Preprocessor preprocessor(options);
    preprocessor.run(text, fileName, 0);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    Parser parser(std::move(preprocessor.tokens), Location{fileName, lines});
    *out = parser.parse();
    return true;
  } catch (const Failure& failure) {
    if (error != nullptr) *error = failure.message;
    return false;
  }
}

bool parseScriptFile(const std::string& path, const ParseOptions& options, ResourceScript* out,
                     std::string* error) {
  std::string text;
  const bool read = options.reader ? options.reader(path, &text) : readDiskFile(path, &text);
  if (!read) {
    if (error != nullptr) *error = path + ": cannot read the file";
    return false;
  }
  return parseScript(text, path, options, out, error);
}

std::string emitTableSource(const ResourceScript& script, const std::string& scriptName) {
  std::ostringstream out;
  out << "// Generated by rcgen from " << scriptName
      << ": the string table and dialog templates\n"
         "// of the resource library. Edit the script, not this file.\n"
         "#include \"resource_table.h\"\n\n"
         "namespace {\n\n";
  if (!script.strings.empty()) {
    out << "const QwinStringResource kStrings[] = {\n";
    for (const StringResource& s : script.strings) {
      out << "    {" << s.id << "u, " << literal(s.text) << "},\n";
    }
    out << "};\n\n";
  }
  for (const DialogResource& d : script.dialogs) {
    if (d.controls.empty()) continue;
    out << "const QwinControlTemplate kDialog" << d.id << "Controls[] = {\n";
    for (const ControlResource& c : d.controls) {
      out << "    {" << c.id << ", " << literal(c.className) << ", " << literal(c.text) << ", "
          << hex(c.style) << ", " << c.x << ", " << c.y << ", " << c.width << ", " << c.height
          << "},\n";
    }
    out << "};\n\n";
  }
  if (!script.dialogs.empty()) {
    out << "const QwinDialogTemplate kDialogs[] = {\n";
    for (const DialogResource& d : script.dialogs) {
      out << "    {" << d.id << "u, " << literal(d.caption) << ", " << hex(d.style) << ", " << d.x
          << ", " << d.y << ", " << d.width << ", " << d.height << ", ";
      if (d.controls.empty()) {
        out << "nullptr, 0},\n";
      } else {
        out << "kDialog" << d.id << "Controls, " << d.controls.size() << "},\n";
      }
    }
    out << "};\n\n";
  }
  out << "const QwinResourceTable kTable = {" << (script.strings.empty() ? "nullptr" : "kStrings")
      << ", " << script.strings.size() << ", " << (script.dialogs.empty() ? "nullptr" : "kDialogs")
      << ", " << script.dialogs.size()
      << "};\n\n"
         "}  // namespace\n\n"
         "extern \"C\" __attribute__((visibility(\"default\"))) const QwinResourceTable* "
         "qwinResourceTable(void);\n"
         "extern \"C\" const QwinResourceTable* qwinResourceTable(void) { return &kTable; }\n";
  return out.str();
}

}  // namespace rcgen
