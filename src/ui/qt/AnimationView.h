// Plays the about box's animation in place of its picture: a video panel
// that reports when the film has ended or could not be played, so the box
// can put its picture back and play again.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QMediaPlayer;
class QVideoWidget;

namespace marvena {

class AnimationView final : public QWidget {
 public:
  explicit AnimationView(QWidget* parent = nullptr);

  // Starts `path`; `ended` runs once when playback stops for any reason,
  // with an empty text on a normal end or the reason it failed.
  void play(const QString& path, std::function<void(const QString& failure)> ended);
  bool playing() const { return static_cast<bool>(ended_); }

 private:
  void finish(const QString& failure);

  QMediaPlayer* player_;
  QVideoWidget* video_;
  std::function<void(const QString&)> ended_;
};

}  // namespace marvena
