#include "platform/reg/registry_text.h"

#include <algorithm>
#include <cstdio>

namespace quavix::reg {

namespace {

constexpr std::string_view kHeader = "QUAVIX-REGISTRY 1";
constexpr std::string_view kTrailer = "END";
// The registry's type codes, repeated so this file needs no API header.
constexpr DWORD kTypeSz = 1;
constexpr DWORD kTypeDword = 4;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the well-formed UTF-8 sequence at s[i] (1 to 4), or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return n;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    size_t n = Utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

const char kHex[] = "0123456789ABCDEF";

void AppendHexByte(std::string &out, unsigned char c) {
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Printable UTF-8 is written as it is; everything else escaped.
void AppendQuoted(std::string &out, std::string_view s) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t n = c >= 0x80 ? Utf8SequenceLength(s, i) : 0;
    // C1 controls (U+0080..U+009F) are escaped so the file stays readable.
    if (n > 0 && !(n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0)) {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    out += "\\x";
    AppendHexByte(out, c);
    ++i;
  }
  out += '"';
}

void AppendKeyName(std::string &out, std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    bool special = c == '%' || c == '[' || c == ']' || c == '\\' || c < 0x20 || c == 0x7F;
    if (!special && c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t n = (!special && c >= 0x80) ? Utf8SequenceLength(s, i) : 0;
    if (n > 0) {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    out += '%';
    AppendHexByte(out, c);
    ++i;
  }
}

void SerializeKey(std::string &out, const RegKey &key, std::string &path, bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
  }
  for (const RegValue &v : key.values) {
    if (v.name.empty()) {
      out += '@';
    } else {
      AppendQuoted(out, v.name);
    }
    out += '=';
    if (v.type == kTypeDword && v.data.size() == 4) {
      DWORD d = 0;
      for (int k = 3; k >= 0; --k)
        d = (d << 8) | static_cast<unsigned char>(v.data[static_cast<size_t>(k)]);
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
      out += buf;
    } else if (v.type == kTypeSz && !v.data.empty() && v.data.back() == '\0') {
      out += "sz:";
      AppendQuoted(out, std::string_view(v.data).substr(0, v.data.size() - 1));
    } else {
      out += "hex(" + std::to_string(v.type) + "):";
      for (size_t k = 0; k < v.data.size(); ++k) {
        if (k) out += ',';
        AppendHexByte(out, static_cast<unsigned char>(v.data[k]));
      }
    }
    out += '\n';
  }
  for (const RegKey &sub : key.subkeys) {
    size_t mark = path.size();
    if (!isRoot) path += '\\';
    AppendKeyName(path, sub.name);
    SerializeKey(out, sub, path, false);
    path.resize(mark);
  }
}

class Parser {
 public:
  Parser(std::string_view text, RegKey *root) : text_(text), root_(root) {}

  bool Run(std::string *error) {
    bool ok = RunInner();
    if (!ok && error) *error = "line " + std::to_string(lineNo_) + ": " + why_;
    return ok;
  }

 private:
  bool Fail(const char *why) {
    why_ = why;
    return false;
  }

  bool RunInner() {
    if (text_.size() > kMaxRegistryFileSize) return Fail("file too large");
    if (text_.empty()) return true;
    if (!IsValidUtf8(text_)) return Fail("not UTF-8");
    bool sawHeader = false, sawTrailer = false;
    size_t pos = 0;
    while (pos < text_.size()) {
      size_t end = text_.find('\n', pos);
      if (end == std::string_view::npos) end = text_.size();
      std::string_view line = text_.substr(pos, end - pos);
      pos = end + 1;
      ++lineNo_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() || line[0] == ';' || line[0] == '#') continue;
      if (sawTrailer) return Fail("text after END");
      if (!sawHeader) {
        if (line != kHeader) return Fail("missing header");
        sawHeader = true;
        continue;
      }
      if (line == kTrailer) {
        sawTrailer = true;
        continue;
      }
      if (line[0] == '[') {
        if (!ParseSection(line)) return false;
      } else if (!ParseValue(line)) {
        return false;
      }
    }
    if (!sawHeader) return Fail("missing header");
    if (!sawTrailer) return Fail("missing END (file cut short)");
    return true;
  }

  bool ParseSection(std::string_view line) {
    if (line.size() < 2 || line.back() != ']') return Fail("bad section line");
    std::string_view body = line.substr(1, line.size() - 2);
    current_ = root_;
    if (body.empty()) return true;
    size_t depth = 0;
    size_t start = 0;
    while (true) {
      size_t sep = body.find('\\', start);
      std::string_view raw =
          body.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
      std::string name;
      for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '[' || c == ']') return Fail("bracket in key name");
        if (c == '%') {
          if (i + 2 >= raw.size()) return Fail("bad % escape");
          int h = HexDigit(raw[i + 1]), l = HexDigit(raw[i + 2]);
          if (h < 0 || l < 0) return Fail("bad % escape");
          name += static_cast<char>(h * 16 + l);
          i += 2;
        } else {
          name += c;
        }
      }
      if (name.empty() || name.size() > kMaxKeyNameLength) return Fail("bad key name length");
      if (name.find('\\') != std::string::npos) return Fail("backslash in key name");
      if (++depth > kMaxKeyDepth) return Fail("keys nested too deep");
      current_ = &current_->SubkeyFor(name);
      if (sep == std::string_view::npos) break;
      start = sep + 1;
    }
    return true;
  }

  // Reads a quoted string at line[*pos]; *pos ends after the closing quote.
  bool ParseQuoted(std::string_view line, size_t *pos, std::string *out, size_t limit) {
    size_t i = *pos;
    if (i >= line.size() || line[i] != '"') return Fail("expected '\"'");
    ++i;
    while (true) {
      if (i >= line.size()) return Fail("unterminated string");
      char c = line[i];
      if (c == '"') break;
      if (c == '\\') {
        if (i + 1 >= line.size()) return Fail("unterminated escape");
        char e = line[i + 1];
        if (e == '\\' || e == '"') {
          *out += e;
          i += 2;
        } else if (e == 'x') {
          if (i + 3 >= line.size()) return Fail("bad \\x escape");
          int h = HexDigit(line[i + 2]), l = HexDigit(line[i + 3]);
          if (h < 0 || l < 0) return Fail("bad \\x escape");
          *out += static_cast<char>(h * 16 + l);
          i += 4;
        } else {
          return Fail("unknown escape");
        }
      } else {
        *out += c;
        ++i;
      }
      if (out->size() > limit) return Fail("string too long");
    }
    *pos = i + 1;
    return true;
  }

  bool ParseValue(std::string_view line) {
    if (!current_) return Fail("value outside a section");
    size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
      pos = 1;
    } else {
      if (!ParseQuoted(line, &pos, &name, kMaxValueNameLength)) return false;
      if (name.empty()) return Fail("empty value name (the default value is @)");
    }
    if (pos >= line.size() || line[pos] != '=') return Fail("expected '='");
    ++pos;
    std::string_view rest = line.substr(pos);
    DWORD type;
    std::string data;
    if (rest.starts_with("dword:")) {
      std::string_view digits = rest.substr(6);
      if (digits.size() != 8) return Fail("dword needs 8 hex digits");
      DWORD d = 0;
      for (char c : digits) {
        int h = HexDigit(c);
        if (h < 0) return Fail("bad dword digit");
        d = (d << 4) | static_cast<DWORD>(h);
      }
      type = kTypeDword;
      for (int k = 0; k < 4; ++k) data += static_cast<char>((d >> (8 * k)) & 0xFF);
    } else if (rest.starts_with("sz:")) {
      size_t p = 3;
      if (!ParseQuoted(rest, &p, &data, kMaxValueDataSize - 1)) return false;
      if (p != rest.size()) return Fail("text after string");
      data += '\0';
      type = kTypeSz;
    } else if (rest.starts_with("hex(")) {
      size_t p = 4;
      unsigned long long t = 0;
      size_t digits = 0;
      while (p < rest.size() && rest[p] >= '0' && rest[p] <= '9') {
        t = t * 10 + static_cast<unsigned>(rest[p] - '0');
        if (++digits > 10 || t > 0xFFFFFFFFull) return Fail("bad type");
        ++p;
      }
      if (digits == 0 || rest.substr(p, 2) != "):") return Fail("bad hex( )");
      p += 2;
      type = static_cast<DWORD>(t);
      while (p < rest.size()) {
        if (!data.empty()) {
          if (rest[p] != ',') return Fail("expected ','");
          ++p;
        }
        if (p + 2 > rest.size()) return Fail("bad hex byte");
        int h = HexDigit(rest[p]), l = HexDigit(rest[p + 1]);
        if (h < 0 || l < 0) return Fail("bad hex byte");
        data += static_cast<char>(h * 16 + l);
        if (data.size() > kMaxValueDataSize) return Fail("value too large");
        p += 2;
      }
    } else {
      return Fail("unknown data kind");
    }
    current_->SetValue(name, type, std::move(data));
    return true;
  }

  std::string_view text_;
  RegKey *root_;
  RegKey *current_ = nullptr;
  size_t lineNo_ = 0;
  std::string why_;
};

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

RegKey *RegKey::FindSubkey(std::string_view n) {
  for (RegKey &k : subkeys)
    if (NamesEqual(k.name, n)) return &k;
  return nullptr;
}
const RegKey *RegKey::FindSubkey(std::string_view n) const {
  return const_cast<RegKey *>(this)->FindSubkey(n);
}
RegValue *RegKey::FindValue(std::string_view n) {
  for (RegValue &v : values)
    if (NamesEqual(v.name, n)) return &v;
  return nullptr;
}
const RegValue *RegKey::FindValue(std::string_view n) const {
  return const_cast<RegKey *>(this)->FindValue(n);
}

RegKey &RegKey::SubkeyFor(std::string_view n, bool *added) {
  if (RegKey *k = FindSubkey(n)) {
    if (added) *added = false;
    return *k;
  }
  subkeys.push_back(RegKey{std::string(n), {}, {}});
  if (added) *added = true;
  return subkeys.back();
}

void RegKey::SetValue(std::string_view n, DWORD type, std::string data) {
  if (RegValue *v = FindValue(n)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  values.push_back(RegValue{std::string(n), type, std::move(data)});
}

bool RegKey::RemoveValue(std::string_view n) {
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const RegValue &v) { return NamesEqual(v.name, n); });
  if (it == values.end()) return false;
  values.erase(it);
  return true;
}

bool RegKey::RemoveSubkey(std::string_view n) {
  auto it = std::find_if(subkeys.begin(), subkeys.end(),
                         [&](const RegKey &k) { return NamesEqual(k.name, n); });
  if (it == subkeys.end()) return false;
  subkeys.erase(it);
  return true;
}

bool RegKey::operator==(const RegKey &o) const {
  if (name != o.name || values.size() != o.values.size() || subkeys.size() != o.subkeys.size())
    return false;
  for (size_t i = 0; i < values.size(); ++i) {
    const RegValue &a = values[i], &b = o.values[i];
    if (a.name != b.name || a.type != b.type || a.data != b.data) return false;
  }
  for (size_t i = 0; i < subkeys.size(); ++i)
    if (!(subkeys[i] == o.subkeys[i])) return false;
  return true;
}

bool ParseRegistryText(std::string_view text, RegKey *root, std::string *error) {
  RegKey parsed;
  if (!Parser(text, &parsed).Run(error)) return false;
  *root = std::move(parsed);
  return true;
}

std::string SerializeRegistryText(const RegKey &root) {
  std::string out;
  out += "; The per-user registry of Quavix (HKEY_CURRENT_USER). The program\n";
  out += "; replaces this file as a whole; edit it only while Quavix is not running.\n";
  out += kHeader;
  out += '\n';
  std::string path;
  SerializeKey(out, root, path, true);
  out += kTrailer;
  out += '\n';
  return out;
}

RegKey *FindKey(RegKey &root, const std::vector<std::string> &path) {
  RegKey *k = &root;
  for (const std::string &n : path) {
    k = k->FindSubkey(n);
    if (!k) return nullptr;
  }
  return k;
}

}  // namespace quavix::reg
