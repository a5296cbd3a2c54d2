#include "platform/fake/RecordingPrintDevice.h"

#include "settings/PrintSettings.h"

namespace marvena {

bool RecordingPrintDevice::metrics(PrinterMetrics* out, std::string* error) {
  if (failMetrics) {
    *error = "Invalid Printer";
    return false;
  }
  *out = geometry;
  return true;
}

TextMetrics RecordingPrintDevice::textMetrics() {
  TextMetrics m;
  m.height = font_.points * heightPer10Points / 10;
  m.ascent = m.height * 4 / 5;
  m.externalLeading = leadingDots;
  return m;
}

int RecordingPrintDevice::textWidth(std::string_view jobBytes) {
  const int cell =
      font_.points * widthPer10Points / 10 + ((font_.style & fsBold) ? boldExtraWidth : 0);
  return static_cast<int>(jobBytes.size()) * cell;
}

bool RecordingPrintDevice::beginDocument(std::string* error) {
  if (failBegin) {
    *error = "the printer refused the document";
    return false;
  }
  printing_ = true;
  page_ = 1;
  calls.push_back({RecordedCall::Begin, 0, 0, 0, 0, page_, title, font_});
  return true;
}

bool RecordingPrintDevice::newPage(std::string* error) {
  if (failNewPage) {
    *error = "the printer refused a page";
    return false;
  }
  ++page_;
  calls.push_back({RecordedCall::NewPage, 0, 0, 0, 0, page_, {}, font_});
  return true;
}

bool RecordingPrintDevice::endDocument(std::string* error) {
  printing_ = false;
  if (failEnd) {
    *error = "the print system refused the job";
    return false;
  }
  calls.push_back({RecordedCall::End, 0, 0, 0, 0, page_, {}, font_});
  return true;
}

void RecordingPrintDevice::abortDocument() {
  printing_ = false;
  calls.push_back({RecordedCall::Abort, 0, 0, 0, 0, page_, {}, font_});
}

void RecordingPrintDevice::drawText(int x, int y, std::string_view jobBytes) {
  calls.push_back({RecordedCall::Text, x, y, 0, 0, page_, std::string(jobBytes), font_});
}

void RecordingPrintDevice::drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) {
  calls.push_back({RecordedCall::Picture, x, y, width, height, page_,
                   std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height), font_});
}

std::vector<RecordedCall> RecordingPrintDevice::texts() const {
  std::vector<RecordedCall> out;
  for (const RecordedCall& c : calls)
    if (c.kind == RecordedCall::Text) out.push_back(c);
  return out;
}

std::vector<RecordedCall> RecordingPrintDevice::textsOnPage(int page) const {
  std::vector<RecordedCall> out;
  for (const RecordedCall& c : calls)
    if (c.kind == RecordedCall::Text && c.page == page) out.push_back(c);
  return out;
}

int RecordingPrintDevice::documents() const {
  int n = 0;
  for (const RecordedCall& c : calls) n += c.kind == RecordedCall::End;
  return n;
}

}  // namespace marvena
