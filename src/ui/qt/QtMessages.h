// Messages of the desktop tool: "KLAIDA" boxes that never stop the jobs
// (non-modal, shown from the GUI thread, the same text never twice at once)
// and the English log on stderr.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include "app/StderrMessages.h"
#include "platform/MessageSink.h"

namespace marvena {

class QtMessages final : public QObject, public MessageSink {
 public:
  explicit QtMessages(QObject* parent = nullptr) : QObject(parent) {}
  void showMessage(const std::string& text) override;  // any thread
  void showError(const std::string& text) override;    // any thread
  void log(const std::string& line) override { stderr_.log(line); }
  int open() const { return open_.size(); }

 private:
  void box(const QString& caption, const QString& text);
  StderrMessages stderr_;
  QSet<QString> open_;
};

}  // namespace marvena
