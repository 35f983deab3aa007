#include "settings/ini_file.h"

#include <algorithm>
#include <stdexcept>

#include "settings/cp1251.h"

namespace tolvane {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

void requireName(bool ok, std::string_view what, std::string_view name) {
  if (!ok)
    throw std::invalid_argument("cannot store " + std::string(what) + " name \"" + std::string(name) + "\"");
}

bool hasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<int32_t> parseProfileInt(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  int64_t value = 0;
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + (text[digits] - '0');
    if (value > int64_t{1} << 31) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

IniDocument IniDocument::parse(std::string_view bytes) {
  IniDocument doc;
  if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    doc.encoding_ = Encoding::kUtf8WithBom;
    bytes.remove_prefix(kUtf8Bom.size());
  }
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t newline = bytes.find('\n', pos);
    Line line;
    if (newline == std::string_view::npos) {
      line.raw = bytes.substr(pos);
      pos = bytes.size();
    } else {
      size_t end = newline;
      if (end > pos && bytes[end - 1] == '\r') --end;
      line.raw = bytes.substr(pos, end - pos);
      line.eol = bytes.substr(end, newline + 1 - end);
      pos = newline + 1;
    }
    doc.classify(line);
    if (line.kind == LineKind::kSection) {
      if (!doc.sections_.empty()) doc.sections_.back().end = doc.lines_.size();
      doc.sections_.push_back({doc.lines_.size(), doc.lines_.size() + 1});
    }
    doc.lines_.push_back(std::move(line));
  }
  if (!doc.sections_.empty()) doc.sections_.back().end = doc.lines_.size();
  return doc;
}

IniDocument IniDocument::load(const std::filesystem::path& path) {
  FileContents contents = readWholeFile(path);
  if (contents.status == ReadStatus::kOk) return parse(contents.bytes);
  IniDocument doc;
  doc.unreadable_ = contents.status == ReadStatus::kUnreadable;
  return doc;
}

std::string IniDocument::serialize() const {
  size_t size = encoding_ == Encoding::kUtf8WithBom ? kUtf8Bom.size() : 0;
  for (const Line& line : lines_) size += line.raw.size() + line.eol.size();
  std::string out;
  out.reserve(size);
  if (encoding_ == Encoding::kUtf8WithBom) out += kUtf8Bom;
  for (const Line& line : lines_) {
    out += line.raw;
    out += line.eol;
  }
  return out;
}

void IniDocument::save(const std::filesystem::path& path) const {
  // Replacing a file that could not be read would throw away everything else in it.
  if (unreadable_) throw FileWriteError(path);
  writeFileAtomically(path, serialize());
}

std::string IniDocument::decode(std::string_view bytes) const {
  return encoding_ == Encoding::kCp1251 ? cp1251ToUtf8(bytes) : std::string(bytes);
}

std::string IniDocument::encode(std::string_view text) const {
  return encoding_ == Encoding::kCp1251 ? utf8ToCp1251(text) : std::string(text);
}

void IniDocument::classify(Line& line) const {
  line.kind = LineKind::kOther;
  line.name.clear();
  const std::string_view raw = line.raw;
  const std::string_view text = trim(raw);
  if (text.empty()) {
    line.kind = LineKind::kBlank;
    return;
  }
  if (text.front() == '[') {
    const size_t close = text.find(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = foldCaseUtf8(decode(trim(text.substr(1, close - 1))));
    }
    return;
  }
  if (raw.substr(0, 4) == "path" || text.front() == ';') return;
  const size_t equals = raw.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = trim(raw.substr(0, equals));
  if (key.empty()) return;
  line.kind = LineKind::kKey;
  line.name = foldCaseUtf8(decode(key));
  size_t value = equals + 1;
  while (value < raw.size() && (raw[value] == ' ' || raw[value] == '\t')) ++value;
  line.valueStart = value;
}

const IniDocument::Section* IniDocument::findSection(std::string_view foldedName) const {
  for (const Section& s : sections_) {
    if (lines_[s.header].name == foldedName) return &s;
  }
  return nullptr;
}

std::optional<size_t> IniDocument::findKeyLine(const Section& section, std::string_view foldedKey) const {
  for (size_t i = section.header + 1; i < section.end; ++i) {
    if (lines_[i].kind == LineKind::kKey && lines_[i].name == foldedKey) return i;
  }
  return std::nullopt;
}

void IniDocument::insertLine(size_t at, Line line) {
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  for (Section& s : sections_) {
    if (s.header >= at) {
      ++s.header;
      ++s.end;
    } else if (s.end >= at) {
      ++s.end;
    }
  }
}

std::string IniDocument::lineEnd() const {
  // A settings file edited elsewhere with LF endings keeps them; anything else, a damaged file whose
  // garbage happens to hold an LF included, gets the CR LF of every other settings file.
  bool lf = false;
  for (const Line& line : lines_) {
    if (line.eol == "\r\n") return "\r\n";
    if (!line.eol.empty()) lf = true;
  }
  return lf && !sections_.empty() ? "\n" : "\r\n";
}

bool IniDocument::hasSection(std::string_view section) const {
  return findSection(foldCaseUtf8(trim(section))) != nullptr;
}

bool IniDocument::hasKey(std::string_view section, std::string_view key) const {
  return find(section, key).has_value();
}

std::optional<std::string> IniDocument::find(std::string_view section, std::string_view key) const {
  const Section* s = findSection(foldCaseUtf8(trim(section)));
  if (s == nullptr) return std::nullopt;
  const auto index = findKeyLine(*s, foldCaseUtf8(trim(key)));
  if (!index) return std::nullopt;
  const Line& line = lines_[*index];
  return decode(trim(std::string_view(line.raw).substr(line.valueStart)));
}

std::string IniDocument::readString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  auto value = find(section, key);
  return value ? std::move(*value) : std::string(def);
}

int32_t IniDocument::readInt(std::string_view section, std::string_view key, int32_t def) const {
  const auto value = find(section, key);
  if (!value) return def;
  return parseProfileInt(*value).value_or(def);
}

bool IniDocument::readBool(std::string_view section, std::string_view key, bool def) const {
  const auto value = find(section, key);
  if (!value) return def;
  const auto number = parseProfileInt(*value);
  return number ? *number != 0 : def;
}

std::vector<std::string> IniDocument::sectionNames() const {
  std::vector<std::string> names;
  std::vector<std::string_view> seen;
  for (const Section& s : sections_) {
    const std::string& folded = lines_[s.header].name;
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    seen.push_back(folded);
    const std::string_view text = trim(lines_[s.header].raw);
    names.push_back(decode(trim(text.substr(1, text.find(']') - 1))));
  }
  return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  const Section* s = findSection(foldCaseUtf8(trim(section)));
  if (s == nullptr) return names;
  std::vector<std::string_view> seen;
  for (size_t i = s->header + 1; i < s->end; ++i) {
    const Line& line = lines_[i];
    if (line.kind != LineKind::kKey) continue;
    if (std::find(seen.begin(), seen.end(), line.name) != seen.end()) continue;
    seen.push_back(line.name);
    names.push_back(decode(trim(std::string_view(line.raw).substr(0, line.raw.find('=')))));
  }
  return names;
}

void IniDocument::writeString(std::string_view section, std::string_view key, std::string_view value) {
  section = trim(section);
  key = trim(key);
  const bool cp1251 = encoding_ == Encoding::kCp1251;
  requireName(!section.empty() && !hasLineBreakOrNul(section) &&
                  section.find(']') == std::string_view::npos && (!cp1251 || fitsCp1251(section)),
              "section", section);
  requireName(!key.empty() && !hasLineBreakOrNul(key) && key.find('=') == std::string_view::npos &&
                  key.front() != '[' && key.front() != ';' && key.substr(0, 4) != "path" &&
                  (!cp1251 || fitsCp1251(key)),
              "key", key);

  std::string cleanValue(value);
  std::replace_if(
      cleanValue.begin(), cleanValue.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  const std::string encodedValue = encode(cleanValue);
  const std::string foldedSection = foldCaseUtf8(section);
  const std::string foldedKey = foldCaseUtf8(key);

  if (const Section* s = findSection(foldedSection)) {
    if (const auto index = findKeyLine(*s, foldedKey)) {
      Line& line = lines_[*index];
      line.raw.resize(line.valueStart);
      line.raw += encodedValue;
      return;
    }
    size_t last = s->header;
    for (size_t i = s->end; i-- > s->header;) {
      if (lines_[i].kind != LineKind::kBlank) {
        last = i;
        break;
      }
    }
    if (lines_[last].eol.empty()) lines_[last].eol = lineEnd();
    Line line;
    line.raw = encode(key) + "=" + encodedValue;
    line.eol = lineEnd();
    classify(line);
    insertLine(last + 1, std::move(line));
    return;
  }

  const std::string eol = lineEnd();
  if (!lines_.empty()) {
    if (lines_.back().eol.empty()) lines_.back().eol = eol;
    if (lines_.back().kind != LineKind::kBlank) {
      Line blank;
      blank.eol = eol;
      blank.kind = LineKind::kBlank;
      insertLine(lines_.size(), std::move(blank));
    }
  }
  Line header;
  header.raw = "[" + encode(section) + "]";
  header.eol = eol;
  classify(header);
  sections_.push_back({lines_.size(), lines_.size() + 1});
  lines_.push_back(std::move(header));
  Line line;
  line.raw = encode(key) + "=" + encodedValue;
  line.eol = eol;
  classify(line);
  insertLine(lines_.size(), std::move(line));
}

void IniDocument::writeInt(std::string_view section, std::string_view key, int32_t value) {
  writeString(section, key, std::to_string(value));
}

void IniDocument::writeBool(std::string_view section, std::string_view key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view def) const {
  return load().readString(section, key, def);
}

int32_t IniFile::readInt(std::string_view section, std::string_view key, int32_t def) const {
  return load().readInt(section, key, def);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const {
  return load().readBool(section, key, def);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) const {
  IniDocument doc = load();
  doc.writeString(section, key, value);
  doc.save(path_);
}

void IniFile::writeInt(std::string_view section, std::string_view key, int32_t value) const {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) const {
  writeString(section, key, value ? "1" : "0");
}

}  // namespace tolvane
