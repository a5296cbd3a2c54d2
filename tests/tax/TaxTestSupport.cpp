#include "TaxTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace marvena::test {

std::string JobBytes(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view l : lines) out.append(l).append("\r\n");
  return out;
}

std::string JobBytes(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out.append(l).append("\r\n");
  return out;
}

std::string Golden(const std::string& name, std::string_view lineEnd, std::string_view prefix) {
  std::ifstream in(std::string(TAX_GOLDEN_DIR) + "/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string out(prefix);
  for (char c : ss.str()) {
    if (c == '\n')
      out.append(lineEnd);
    else
      out.push_back(c);
  }
  return out;
}

std::size_t Count(std::string_view text, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size()))
    ++n;
  return n;
}

std::string fieldValue(std::string_view document, std::string_view name, std::size_t nth) {
  const std::string open = "<Field Name=\"" + std::string(name) + "\">";
  std::size_t at = document.find(open);
  for (std::size_t i = 0; i < nth && at != std::string_view::npos; ++i)
    at = document.find(open, at + 1);
  if (at == std::string_view::npos) return "<missing>";
  at += open.size();
  return std::string(document.substr(at, document.find("</Field>", at) - at));
}

std::string DocumentTest::check(const std::string& document) {
  documents_.push_back(document);
  return document;
}

void DocumentTest::TearDown() {
  if (documents_.empty()) return;
  std::vector<std::string> paths;
  std::string command = "/usr/bin/python3 " TAX_TEST_DIR "/check_xml.py";
  for (std::size_t i = 0; i < documents_.size(); ++i) {
    char name[] = "/tmp/tax-doc-XXXXXX.ffdata";
    const int fd = ::mkstemps(name, 7);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(name, std::ios::binary) << documents_[i];
    paths.push_back(name);
    command += " ";
    command += name;
  }
  const int rc = std::system(command.c_str());
  for (const std::string& p : paths) std::remove(p.c_str());
  EXPECT_EQ(rc, 0) << "a document of this test is not well-formed UTF-8 XML";
}

}  // namespace marvena::test
