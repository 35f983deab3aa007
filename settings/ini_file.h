#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/atomic_file.h"

namespace tolvane {

// The text of an INI file with the Windows private-profile rules:
// - "[section]" and "key=value" lines; section and key names match without regard to case (ASCII and
//   the Cyrillic letters of Windows-1251); names and values are trimmed of blanks when read;
// - with duplicate sections or keys the first one counts, for reading and for writing;
// - a line whose first four characters are "path" is never a key (it carries the machine identifier);
// - a write replaces the value of an existing key in place, or adds the key after the last non-blank
//   line of its section, or adds the section (after one blank line) at the end; every other byte of
//   the file stays as it was, and keys are never removed.
// Text on disk is Windows-1251; a file that starts with a UTF-8 byte order mark is kept in UTF-8 with
// its mark. Lines may end in CR LF or LF; added lines end in LF only in a settings file whose lines all
// end in LF, otherwise (a new file, a damaged one, mixed endings) in CR LF. All names and values in this
// interface are UTF-8.
//
// IniDocument edits the text in memory: load once, read and write many keys, save once. Saving
// replaces the file atomically (see writeFileAtomically).
class IniDocument {
 public:
  enum class Encoding { kCp1251, kUtf8WithBom };

  IniDocument() = default;
  static IniDocument parse(std::string_view bytes);

  // Reads path; a missing file gives an empty document. A file that exists but cannot be read gives
  // an empty document too, with loadedFromUnreadable() set, so that a later save refuses to replace it.
  static IniDocument load(const std::filesystem::path& path);

  std::string serialize() const;
  // Throws FileWriteError, also when the document came from a file that could not be read.
  void save(const std::filesystem::path& path) const;

  bool loadedFromUnreadable() const { return unreadable_; }
  Encoding encoding() const { return encoding_; }

  bool hasSection(std::string_view section) const;
  bool hasKey(std::string_view section, std::string_view key) const;
  // The trimmed value, or nullopt when the section or key is missing.
  std::optional<std::string> find(std::string_view section, std::string_view key) const;

  std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal with an optional minus; leading digits count ("12abc" is 12). Missing, not a number or
  // beyond 32 bits: def.
  int32_t readInt(std::string_view section, std::string_view key, int32_t def) const;
  // Any integer other than 0 is true; missing or not a number: def.
  bool readBool(std::string_view section, std::string_view key, bool def) const;

  // Section names in file order (first occurrences), and the keys of a section in file order.
  std::vector<std::string> sectionNames() const;
  std::vector<std::string> keyNames(std::string_view section) const;

  // Throws std::invalid_argument for names that cannot be stored: empty, with a line break or NUL, a
  // key with "=" or beginning with "[", ";" or "path", a section with "]", or characters the file's
  // code page cannot hold. Line breaks and NUL in a value become blanks, so that a value stays one line.
  void writeString(std::string_view section, std::string_view key, std::string_view value);
  void writeInt(std::string_view section, std::string_view key, int32_t value);
  void writeBool(std::string_view section, std::string_view key, bool value);

 private:
  enum class LineKind : uint8_t { kOther, kBlank, kSection, kKey };
  struct Line {
    std::string raw;  // bytes as on disk, without the line end
    std::string eol;  // "\r\n", "\n" or "" for a last line without an end
    LineKind kind = LineKind::kOther;
    std::string name;       // section or key name, trimmed and case-folded UTF-8
    size_t valueStart = 0;  // kKey: first byte after '=' and its blanks
  };
  struct Section {
    size_t header;  // index of the "[...]" line
    size_t end;     // one past its last line
  };

  void classify(Line& line) const;
  std::string decode(std::string_view bytes) const;
  std::string encode(std::string_view text) const;
  const Section* findSection(std::string_view foldedName) const;
  std::optional<size_t> findKeyLine(const Section& section, std::string_view foldedKey) const;
  void insertLine(size_t at, Line line);
  std::string lineEnd() const;

  Encoding encoding_ = Encoding::kCp1251;
  bool unreadable_ = false;
  std::vector<Line> lines_;
  std::vector<Section> sections_;
};

// A settings file addressed by path. Every single-key write loads the file, changes that key and
// replaces the file at once; for many keys use load(), edit the document, and save().
class IniFile {
 public:
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}
  const std::filesystem::path& path() const { return path_; }

  IniDocument load() const { return IniDocument::load(path_); }
  void save(const IniDocument& document) const { document.save(path_); }

  std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
  int32_t readInt(std::string_view section, std::string_view key, int32_t def) const;
  bool readBool(std::string_view section, std::string_view key, bool def) const;

  // Throws FileWriteError ("Unable to write to <path>") when the file cannot be replaced.
  void writeString(std::string_view section, std::string_view key, std::string_view value) const;
  void writeInt(std::string_view section, std::string_view key, int32_t value) const;
  void writeBool(std::string_view section, std::string_view key, bool value) const;

 private:
  std::filesystem::path path_;
};

// Decimal integer in Windows profile style: blanks, optional minus, leading digits.
std::optional<int32_t> parseProfileInt(std::string_view text);

}  // namespace tolvane
