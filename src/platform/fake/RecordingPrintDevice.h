// A printer device for layout tests: it records every call with its dot
// coordinates and font, and measures text with a simple monospaced model
// so that expected positions can be worked out by hand.
#pragma once

#include <string>
#include <vector>

#include "platform/PrintDevice.h"

namespace marvena {

struct RecordedCall {
  enum Kind { Begin, Text, Picture, NewPage, End, Abort } kind;
  int x = 0, y = 0, width = 0, height = 0;  // Picture: the stretched size
  int page = 0;                             // page the call drew on
  std::string text;                         // Text: the job bytes; Begin: the title
  FontSpec font;                            // Text: the font in force
};

class RecordingPrintDevice final : public PrintDevice {
 public:
  // A4 at 600 dpi with the borders of FakePrinters.
  PrinterMetrics geometry{600, 600, 4960, 7016, 100, 99, 4760, 6818};
  // Character cell per ten points of font size, in dots, plus a fixed
  // external leading: at 9 points a cell is 45 dots wide and 90 high, and a
  // line takes 100 dots.
  int widthPer10Points = 50, heightPer10Points = 100, leadingDots = 10;
  int boldExtraWidth = 0;
  bool failMetrics = false, failBegin = false, failNewPage = false, failEnd = false;
  std::vector<RecordedCall> calls;
  std::string title, outputName;

  bool metrics(PrinterMetrics* out, std::string* error) override;
  void setFont(const FontSpec& font) override { font_ = font; }
  TextMetrics textMetrics() override;
  int textWidth(std::string_view jobBytes) override;
  void setDocumentName(const std::string& t, const std::string& name) override {
    title = t;
    outputName = name;
  }
  bool printing() const override { return printing_; }
  int pageNumber() const override { return page_; }
  bool beginDocument(std::string* error) override;
  bool newPage(std::string* error) override;
  bool endDocument(std::string* error) override;
  void abortDocument() override;
  void drawText(int x, int y, std::string_view jobBytes) override;
  void drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) override;

  // The text calls only, and those of one page.
  std::vector<RecordedCall> texts() const;
  std::vector<RecordedCall> textsOnPage(int page) const;
  int documents() const;  // documents ended
  int pages() const { return page_; }

 private:
  FontSpec font_;
  bool printing_ = false;
  int page_ = 0;
};

}  // namespace marvena
