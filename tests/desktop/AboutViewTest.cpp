// The about box's animation under the offscreen platform: a real film plays
// in place of the picture and gives it back at the end; an empty or
// damaged file gives a clear message and the box stays usable.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "ui/qt/AboutDialog.h"

namespace marvena {
namespace {

template <class Cond>
bool waitUntil(Cond cond, int ms) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms) QTest::qWait(20);
  return cond();
}

void put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, std::uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
std::string Chunk(const char* id, const std::string& body) {
  std::string s(id, 4);
  put32(s, static_cast<std::uint32_t>(body.size()));
  s += body;
  if (body.size() % 2) s += '\0';
  return s;
}
std::string List(const char* type, const std::string& body) {
  return Chunk("LIST", std::string(type, 4) + body);
}

// A short run-length-encoded 8-bit film, the kind the animation file is:
// `frames` frames of a bar moving across, at ten frames a second.
std::string rleFilm(int frames) {
  const int w = 64, h = 48;
  std::string avih;
  for (std::uint32_t v :
       {100000u, 0u, 0u, 0x10u, static_cast<std::uint32_t>(frames), 0u, 1u, 0u,
        static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 0u, 0u, 0u, 0u})
    put32(avih, v);
  std::string strh = "vidsmrle";
  for (std::uint32_t v :
       {0u, 0u, 0u, 1u, 10u, 0u, static_cast<std::uint32_t>(frames), 0u, 0xFFFFFFFFu, 0u})
    put32(strh, v);
  for (int v : {0, 0, w, h}) Put16(strh, static_cast<std::uint16_t>(v));
  std::string strf;
  for (std::uint32_t v : {40u, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)})
    put32(strf, v);
  Put16(strf, 1);
  Put16(strf, 8);
  for (std::uint32_t v : {1u, 0u, 0u, 0u, 256u, 0u}) put32(strf, v);
  for (int i = 0; i < 256; ++i) put32(strf, static_cast<std::uint32_t>(i * 0x010101));

  std::string movi = "movi", idx;
  for (int f = 0; f < frames; ++f) {
    std::string rle;
    const int bar = (f * 6) % (w - 8);
    for (int y = 0; y < h; ++y) {
      if (bar > 0) rle += {static_cast<char>(bar), static_cast<char>(40)};
      rle += {static_cast<char>(8), static_cast<char>(250)};
      if (w - bar - 8 > 0) rle += {static_cast<char>(w - bar - 8), static_cast<char>(40)};
      rle += {0, 0};
    }
    rle.back() = 1;  // the last end of line becomes the end of the picture
    idx += "00dc";
    put32(idx, 0x10);
    put32(idx, static_cast<std::uint32_t>(movi.size()));
    put32(idx, static_cast<std::uint32_t>(rle.size()));
    movi += Chunk("00dc", rle);
  }
  const std::string body =
      "AVI " +
      List("hdrl", Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf))) +
      Chunk("LIST", movi) + Chunk("idx1", idx);
  return Chunk("RIFF", body);
}

void Write(const QString& path, const std::string& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QMessageBox* failureBox(AboutDialog& box) {
  return box.findChild<QMessageBox*>(QStringLiteral("animationFailure"));
}

TEST(AboutBoxAnimation, ButtonOnlyWhenTheFileExists) {
  QTemporaryDir dir;
  AboutDialog without(QStringLiteral("1.0"), dir.path());
  EXPECT_FALSE(without.animationButton()->isEnabled());
  Write(dir.path() + "/ALUSMRLE.AVI", rleFilm(3));
  AboutDialog with(QStringLiteral("1.0"), dir.path());
  EXPECT_TRUE(with.animationButton()->isEnabled());
}

TEST(AboutBoxAnimation, FilmPlaysInPlaceOfThePictureAndCanPlayAgain) {
  QTemporaryDir dir;
  Write(dir.path() + "/ALUSMRLE.AVI", rleFilm(8));
  AboutDialog box(QStringLiteral("1.0"), dir.path());
  box.show();
  for (int round = 0; round < 2; ++round) {
    QTest::mouseClick(box.animationButton(), Qt::LeftButton);
    EXPECT_TRUE(box.showsAnimation());
    EXPECT_TRUE(waitUntil([&] { return !box.showsAnimation(); }, 60000)) << "round " << round;
    EXPECT_EQ(failureBox(box), nullptr) << "round " << round;
    EXPECT_TRUE(box.animationButton()->isEnabled());
  }
}

TEST(AboutBoxAnimation, EmptyOrDamagedFileIsReportedNotFatal) {
  std::mt19937 random(7);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string cutOff = rleFilm(8).substr(0, 300);
  for (const std::string& content : {std::string(), noise, cutOff}) {
    QTemporaryDir dir;
    Write(dir.path() + "/ALUSMRLE.AVI", content);
    AboutDialog box(QStringLiteral("1.0"), dir.path());
    box.show();
    QTest::mouseClick(box.animationButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !box.showsAnimation(); }, 60000)) << content.size();
    // The picture is back; a cut-off film may still show what it has.
    if (content.size() != cutOff.size()) {
      QMessageBox* failure = failureBox(box);
      ASSERT_NE(failure, nullptr) << content.size();
      EXPECT_EQ(failure->windowTitle(), QStringLiteral("KLAIDA"));
      EXPECT_TRUE(failure->text().startsWith(QStringLiteral("Animacijos ")))
          << failure->text().toStdString();
      failure->close();
    }
    EXPECT_TRUE(box.animationButton()->isEnabled());
  }
}

}  // namespace
}  // namespace marvena
