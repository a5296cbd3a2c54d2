// A private-profile ("INI") file with the rules of the Windows profile API:
// section and key names match without regard to case, the first of
// duplicate sections or keys wins, integers may be written "0x..", values
// that do not parse read as the default. Every write replaces the file
// atomically; reads pick up changes other programs made to the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marvena {

class FileSystem;

// Parsing rules shared with the job directives.
std::optional<int> parseProfileInteger(std::string_view text);
// Accepts either decimal separator; no thousands separators.
std::optional<double> parseProfileDecimal(std::string_view text);
// Up to 15 significant digits with the given decimal separator.
std::string formatProfileDecimal(double value, char decimalSeparator);

// A settings file saved as UTF-16 (little-endian, without its mark) as UTF-8
// and back; what cannot be converted becomes U+FFFD.
std::string utf16LeToUtf8(std::string_view bytes);
std::string utf8ToUtf16Le(std::string_view utf8);

class ProfileFile {
 public:
  ProfileFile(FileSystem& fs, std::string path, char decimalSeparator);

  const std::string& path() const { return path_; }

  bool sectionExists(std::string_view section);
  bool keyExists(std::string_view section, std::string_view key);
  std::string readString(std::string_view section, std::string_view key, std::string_view def);
  int readInteger(std::string_view section, std::string_view key, int def);
  double readDecimal(std::string_view section, std::string_view key, double def);

  // Each returns false (and leaves *error) when the file could not be written.
  bool writeString(std::string_view section, std::string_view key, std::string_view value,
                   std::string* error = nullptr);
  bool writeInteger(std::string_view section, std::string_view key, int value,
                    std::string* error = nullptr);
  bool writeDecimal(std::string_view section, std::string_view key, double value,
                    std::string* error = nullptr);
  bool deleteKey(std::string_view section, std::string_view key, std::string* error = nullptr);

  // The file's text as it would be written now.
  std::string serialize() const;

 private:
  struct Line {
    std::string text;  // the raw line without its end
  };
  void refresh();
  void parse(std::string_view bytes);
  // Index of the section header line, or -1.
  int findSection(std::string_view section) const;
  // Index of the key line within the section starting at `sectionLine`, or -1.
  int findKey(int sectionLine, std::string_view key) const;
  int sectionEnd(int sectionLine) const;
  bool save(std::string* error);

  FileSystem& fs_;
  std::string path_;
  char decimalSeparator_;
  std::vector<Line> lines_;
  bool crlf_ = false;
  bool byteOrderMark_ = false;
  bool utf16_ = false;  // written back as UTF-16 with its mark
  bool loaded_ = false;
  std::uint64_t seenSize_ = 0;
  std::int64_t seenTime_ = -1;
};

}  // namespace marvena
