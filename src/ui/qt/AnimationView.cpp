#include "ui/qt/AnimationView.h"

#include <QFileInfo>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace marvena {

AnimationView::AnimationView(QWidget* parent)
    : QWidget(parent), player_(new QMediaPlayer(this)), video_(new QVideoWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(video_);
  player_->setVideoOutput(video_);
  connect(player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
    if (s == QMediaPlayer::EndOfMedia) finish(QString());
    if (s == QMediaPlayer::InvalidMedia)
      finish(QStringLiteral("failas nėra tinkamas vaizdo įrašas"));
  });
  connect(player_, &QMediaPlayer::errorOccurred, this,
          [this](QMediaPlayer::Error, const QString& text) {
            finish(text.isEmpty() ? QStringLiteral("nežinoma klaida") : text);
          });
}

void AnimationView::play(const QString& path, std::function<void(const QString&)> ended) {
  ended_ = std::move(ended);
  // An empty file makes some back ends wait for data for ever.
  const QFileInfo info(path);
  if (!info.isFile() || info.size() == 0) {
    QTimer::singleShot(0, this, [this] { finish(QStringLiteral("failas tuščias arba jo nėra")); });
    return;
  }
  player_->setSource(QUrl::fromLocalFile(path));
  player_->play();
}

void AnimationView::finish(const QString& failure) {
  if (!ended_) return;
  auto ended = std::move(ended_);
  ended_ = nullptr;
  player_->stop();
  player_->setSource(QUrl());
  ended(failure);
}

}  // namespace marvena
