// Helpers of the declaration tests: job files from lines, the hand-written
// golden documents, and a check of every document a test produced with a
// real XML parser.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace marvena::test {

// A job file: the lines joined with CR LF (the accounting programs' line end).
std::string JobBytes(std::initializer_list<std::string_view> lines);
std::string JobBytes(const std::vector<std::string>& lines);
// A golden document; its LF line ends turned into `lineEnd`, after `prefix`.
std::string Golden(const std::string& name, std::string_view lineEnd, std::string_view prefix = "");
// How many times `needle` occurs in `text`.
std::size_t Count(std::string_view text, std::string_view needle);
// The value of the field line `name`, or "<missing>"; the first when repeated.
std::string fieldValue(std::string_view document, std::string_view name, std::size_t nth = 0);

// Every document passed to check() is parsed with Python's XML parser when
// the test ends; a document that is not well-formed UTF-8 XML fails the test.
class DocumentTest : public ::testing::Test {
 protected:
  std::string check(const std::string& document);
  void TearDown() override;

 private:
  std::vector<std::string> documents_;
};

}  // namespace marvena::test
