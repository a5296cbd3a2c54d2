#include <gtest/gtest.h>

#include "presentation/AboutModel.h"
#include "presentation/MainWindowModel.h"
#include "presentation/TrayIconModel.h"

namespace marvena {
namespace {

std::vector<std::string> Frames() {
  std::vector<std::string> f;
  for (int i = 0; i < 10; ++i) f.push_back("P" + std::to_string(i));
  return f;
}

TEST(TrayIcon, AnimationCyclesTheTenFramesAndStartsAtTheFirst) {
  TrayIconModel tray(Frames(), 150);
  tray.setState(TrayState::Animated, 0);  // not shown yet: nothing moves
  EXPECT_FALSE(tray.tick(1000));
  tray.setActive(true, 1000);
  EXPECT_EQ(tray.picture(), "P0");
  std::string seen;
  for (std::int64_t t = 1150; t <= 1000 + 150 * 10; t += 150) {
    EXPECT_TRUE(tray.tick(t));
    seen += tray.picture() + " ";
  }
  EXPECT_EQ(seen, "P1 P2 P3 P4 P5 P6 P7 P8 P9 P0 ");
  EXPECT_FALSE(tray.tick(2549));  // not due yet
  tray.setState(TrayState::Enabled, 2600);
  EXPECT_EQ(tray.picture(), "idle");
  EXPECT_EQ(tray.nextTickMs(), -1);
  tray.setState(TrayState::Disabled, 2700);
  EXPECT_EQ(tray.picture(), "disabled");
}

TEST(TrayIcon, TheStateMayNotBeSetWhileItChanges) {
  TrayIconModel tray(Frames(), 150);
  tray.setActive(true, 0);
  tray.onStateChanging = [&](TrayState& next) {
    if (next == TrayState::Disabled) next = TrayState::Enabled;  // may redirect
    if (next == TrayState::Animated) tray.setState(TrayState::Enabled, 0);
  };
  tray.setState(TrayState::Disabled, 0);
  EXPECT_EQ(tray.state(), TrayState::Enabled);
  try {
    tray.setState(TrayState::Animated, 0);
    FAIL() << "no error";
  } catch (const TrayError& e) {
    EXPECT_STREQ(e.what(), "You cannot modify the state property in the OnStateChanging event !!!");
  }
  tray.onStateChanging = nullptr;
  tray.setState(TrayState::Animated, 0);  // the guard was cleared
  EXPECT_EQ(tray.state(), TrayState::Animated);
}

TEST(TrayIcon, ClickWaitsForADoubleClickDeferredCallsTheLastOneWins) {
  TrayIconModel tray(Frames(), 150);
  std::vector<std::string> got;
  tray.onClick = [&] { got.push_back("click"); };
  tray.onDoubleClick = [&] { got.push_back("double"); };
  tray.buttonDown(1, 0);
  EXPECT_EQ(tray.nextTickMs(), 400);
  tray.tick(399);
  EXPECT_TRUE(got.empty());
  tray.tick(400);
  EXPECT_EQ(got, (std::vector<std::string>{"click"}));
  EXPECT_EQ(tray.lastButton(), 1);
  tray.buttonDown(0, 1000);
  tray.doubleClick(0, 1200);  // within 400 ms: only the double click
  tray.tick(1500);
  EXPECT_EQ(got, (std::vector<std::string>{"click", "double"}));

  int ran = 0;
  tray.defer([&] { ran = 1; });
  tray.defer([&] { ran = 2; });
  tray.runDeferred();
  EXPECT_EQ(ran, 2);
  tray.defer([] { throw std::runtime_error("lost"); });
  EXPECT_NO_THROW(tray.runDeferred());
  ran = 0;
  tray.runDeferred();  // the slot was emptied
  EXPECT_EQ(ran, 0);
}

TEST(TrayIcon, TimerPeriodAndTip) {
  EXPECT_EQ(trayTimerPeriod({}), 0);
  EXPECT_EQ(trayTimerPeriod({1000}), 150);
  EXPECT_EQ(trayTimerPeriod({400, 70}), 70);
  EXPECT_EQ(trayTip("Marvena Spool", true), "Marvena Spool");
  EXPECT_EQ(trayTip("Marvena Spool", false), "");
  EXPECT_EQ(trayTip(std::string(70, 'x'), true), std::string(63, 'x'));
  const std::string lt = "\xC4\x85";  // one letter, two bytes
  std::string long_lt;
  for (int i = 0; i < 70; ++i) long_lt += lt;
  EXPECT_EQ(trayTip(long_lt, true).size(), 126u);
}

TEST(MainWindow, PendingListAndProgressPanel) {
  EXPECT_EQ(pendingTextJobs({"b.txt", "A.TXT", "x.slx", ".h.txt", "c.txt.bak"}),
            (std::vector<std::string>{"A.TXT", "b.txt"}));
  struct Case {
    std::int64_t done, total;
    const char* text;
    int width;  // of a 200-pixel panel
  };
  const Case cases[] = {
      {0, 0, "", 0},
      {456, 1000, "45.6%", 91},
      {53, 1000, " 5.3%", 11},
      {1, 3, "33.3%", 67},
      {0, 10, " 0.0%", 0},
      {1000, 1000, "100.0%", 200},
      // half tenths: ties to even
      {5, 10000, " 0.0%", 0},
      {15, 10000, " 0.2%", 0},
      {25, 10000, " 0.2%", 0},
      {-5, 10, " 0.0%", 0},
      {20, 10, "100.0%", 200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progressPercentText(c.done, c.total), c.text) << c.done << "/" << c.total;
    EXPECT_EQ(progressFillWidth(200, c.done, c.total), c.width) << c.done << "/" << c.total;
  }
  EXPECT_EQ(progressFillWidth(200, 1, 400), 0);  // 0.5 pixel: ties to even
  EXPECT_EQ(progressFillWidth(200, 3, 400), 2);  // 1.5 pixels
  EXPECT_EQ(progressTextX({100, 0, 300, 26}), 170);
}

TEST(MainWindow, TrayMenuOpensBesideTheTaskBar) {
  const ScreenRect desktop{0, 0, 1920, 1080};
  struct Case {
    ScreenPoint cursor;
    ScreenRect taskbar;
    ScreenPoint expected;
  };
  const Case cases[] = {
      // bottom task bar: below the cursor's row, lifted by half the bar
      {{1800, 1060}, {0, 1040, 1920, 1080}, {1848, 1060}},
      // near the right edge: clipped to the desktop
      {{1900, 1060}, {0, 1040, 1920, 1080}, {1920, 1060}},
      // bar reaching below the desktop: above it, by the menu's items
      {{500, 1070}, {0, 1050, 1920, 1090}, {548, 1050 - 140 + 20 - 20}},
      // right side, standing: at the bottom, left of the bar
      {{1900, 500}, {1860, 0, 1930, 1080}, {1790, 1080}},
      // left side: right of the bar
      {{10, 500}, {0, 0, 60, 1080}, {110, 1080}},
  };
  for (const Case& c : cases) {
    const ScreenPoint p = trayMenuPosition(c.cursor, c.taskbar, desktop, 7);
    EXPECT_EQ(p.x, c.expected.x);
    EXPECT_EQ(p.y, c.expected.y);
  }
}

TEST(About, WindowsDescriptionMemoryAndLinux) {
  auto nt = [](int major, int minor, int type, unsigned suite) {
    WindowsVersion v;
    v.basicOk = v.extendedOk = true;
    v.major = major;
    v.minor = minor;
    v.productType = type;
    v.suiteMask = suite;
    return v;
  };
  EXPECT_EQ(windowsDescription(nt(5, 1, 1, 0x100)), "Windows XP Professional");
  EXPECT_EQ(windowsDescription(nt(5, 1, 1, 0x200)), "Windows XP Personal");
  EXPECT_EQ(windowsDescription(nt(6, 0, 1, 0x300)), "Windows VistaHome Premium");
  EXPECT_EQ(windowsDescription(nt(5, 0, 3, 0x80)), "Windows 2000 DataCenter Server");
  EXPECT_EQ(windowsDescription(nt(5, 0, 3, 0x2)), "Windows 2000 Advanced Server");
  EXPECT_EQ(windowsDescription(nt(4, 0, 3, 0)), "Windows NT Server");
  WindowsVersion reg = nt(4, 0, 0, 0);
  reg.registryProductType = "winnt";
  EXPECT_EQ(windowsDescription(reg), "Windows NT Workstation");
  reg.registryProductType = "LanmanNT";
  EXPECT_EQ(windowsDescription(reg), "Windows NT ");
  WindowsVersion basicOnly = nt(5, 1, 1, 0);
  basicOnly.extendedOk = false;
  EXPECT_EQ(windowsDescription(basicOnly), "Windows XP ");
  WindowsVersion none;
  EXPECT_EQ(windowsDescription(none), "Error");
  WindowsVersion w98;
  w98.basicOk = true;
  w98.platform = 1;
  w98.major = 4;
  w98.minor = 10;
  w98.servicePack = " A ";
  EXPECT_EQ(windowsDescription(w98), "Windows 98 SE");
  w98.minor = 0;
  w98.servicePack = " C";
  EXPECT_EQ(windowsDescription(w98), "Windows 95 OSR2");
  w98.platform = 0;
  EXPECT_EQ(windowsDescription(w98), "Microsoft Win32s");
  w98.platform = 7;
  EXPECT_EQ(windowsDescription(w98), "Unknown");

  EXPECT_EQ(memoryText(2147483648ull, ','), "2,097,152 KB");
  EXPECT_EQ(memoryText(2147483648ull, '\xA0'),
            "2\xA0"
            "097\xA0"
            "152 KB");
  EXPECT_EQ(memoryText(1023 * 1024, ','), "1,023 KB");
  EXPECT_EQ(memoryText(999 * 1024, ','), "999 KB");

  EXPECT_EQ(linuxDescription("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
                             "6.1.0-18-amd64"),
            "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64");
  EXPECT_EQ(linuxDescription("", ""), "Linux");
}

}  // namespace
}  // namespace marvena
