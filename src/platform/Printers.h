// The system's printers: list, selection and the device settings of the
// selected one. Drawing goes through PrintDevice.
#pragma once

#include <string>
#include <vector>

namespace marvena {

enum class Orientation { Portrait = 0, Landscape = 1 };

// Device geometry of the selected printer, in device dots.
struct PrinterMetrics {
  int dpiX = 0, dpiY = 0;
  int physicalWidth = 0, physicalHeight = 0;
  int offsetX = 0, offsetY = 0;  // unprintable left and top border
  int printableWidth = 0, printableHeight = 0;
};

// One paper the selected printer's driver offers.
struct PaperInfo {
  std::string name;
  int code = 0;                             // Windows paper-size code; 256 for a size without one
  int widthTenthMm = 0, lengthTenthMm = 0;  // portrait
};

class Printers {
 public:
  virtual ~Printers() = default;
  // Names in the system's order; the index into this list is a printer index.
  virtual std::vector<std::string> names() = 0;
  // Index of the system default printer, -1 when there is none.
  virtual int defaultIndex() = 0;
  // Selects a printer; -1 selects the default printer. False when it cannot be selected.
  virtual bool select(int index) = 0;
  // Index of the selected printer, -1 when none is selected.
  virtual int currentIndex() = 0;
  virtual std::string currentName() = 0;

  virtual Orientation orientation() = 0;
  virtual void setOrientation(Orientation o) = 0;
  // Windows paper-size code (9 = A4, 256 = user size).
  virtual int paperSize() = 0;
  virtual void setPaperSize(int code) = 0;
  // User paper size in tenths of a millimetre (paper code 256).
  virtual int paperLength() = 0;
  virtual int paperWidth() = 0;
  virtual void setPaperDimensions(int lengthTenthMm, int widthTenthMm) = 0;
  virtual std::vector<std::string> paperNames() = 0;
  // The papers with their codes and sizes, in the driver's order; empty when
  // the driver reports none.
  virtual std::vector<PaperInfo> paperList() { return {}; }

  // Metrics of the selected printer; false when it cannot be queried.
  virtual bool metrics(PrinterMetrics* out) = 0;
  // Font faces the selected printer can use.
  virtual std::vector<std::string> fontFaces() = 0;
};

}  // namespace marvena
