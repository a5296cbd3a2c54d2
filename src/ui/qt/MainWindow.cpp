#include "ui/qt/MainWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <vector>

#include "presentation/MainWindowModel.h"

namespace marvena {

ProgressPanel::ProgressPanel(QWidget* parent) : QWidget(parent) {
  setFixedSize(200, 22);
}

void ProgressPanel::setProgress(qint64 done, qint64 total) {
  if (done == done_ && total == total_) return;
  done_ = done;
  total_ = total;
  update();
}

QString ProgressPanel::text() const {
  return QString::fromStdString(progressPercentText(done_, total_));
}

void ProgressPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  const int fill = progressFillWidth(r.width(), done_, total_);
  p.fillRect(QRect(r.left(), r.top(), fill, r.height()), palette().color(QPalette::Highlight));
  p.fillRect(QRect(r.left() + fill, r.top(), r.width() - fill, r.height()),
             palette().color(QPalette::Button));
  if (total_ <= 0) return;
  p.setPen(QColor(50, 205, 50));  // lime green
  const ScreenRect panel{r.left(), r.top(), r.right(), r.bottom()};
  p.drawText(QPoint(progressTextX(panel), r.top() + 2 + p.fontMetrics().ascent()), text());
}

MainWindow::MainWindow(QString spoolDir, QWidget* parent)
    : QWidget(parent), spoolDir_(std::move(spoolDir)) {
  setWindowTitle(QStringLiteral("Marvena Spool"));
  setToolTip(QStringLiteral("Marvena Spool"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);

  list_ = new QListWidget;
  list_->setFixedSize(225, 108);
  list_->setUniformItemSizes(true);  // thousands of pending files stay quick

  auto* group = new QGroupBox(QStringLiteral("Modifikuoti"));
  modSpool_ = new QCheckBox(QStringLiteral("Spool"));
  modProgram_ = new QCheckBox(QStringLiteral("Program\u0105"));
  start_ = new QPushButton(QStringLiteral("Start"));
  start_->setEnabled(false);  // until a box is checked
  // Checked from code or by the user, Start follows the boxes.
  connect(modSpool_, &QCheckBox::toggled, this, &MainWindow::updateStart);
  connect(modProgram_, &QCheckBox::toggled, this, &MainWindow::updateStart);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(modSpool_);
  groupLayout->addWidget(modProgram_);
  groupLayout->addWidget(start_);

  // Where the window manager draws the caption, the about button sits at
  // the top right of the window itself.
  auto* about = new QToolButton;
  about->setText(QStringLiteral("?"));
  about->setToolTip(QStringLiteral("Apie"));
  about->setAutoRaise(true);
  connect(about, &QToolButton::clicked, this, [this] {
    if (onAbout) onAbout();
  });

  jobName_ = new QLabel;
  jobName_->setFixedWidth(100);
  jobName_->setFrameShape(QFrame::Panel);
  jobName_->setFrameShadow(QFrame::Sunken);
  progress_ = new ProgressPanel;

  auto* top = new QHBoxLayout;
  top->addWidget(list_);
  auto* right = new QVBoxLayout;
  right->addWidget(about, 0, Qt::AlignRight);
  right->addWidget(group);
  top->addLayout(right);
  auto* status = new QHBoxLayout;
  status->addWidget(jobName_);
  status->addWidget(progress_);
  status->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->addLayout(top);
  layout->addLayout(status);
  setFixedSize(sizeHint().expandedTo(QSize(396, 138)));

  refreshTimer_.setSingleShot(true);
  refreshTimer_.setInterval(250);
  connect(&refreshTimer_, &QTimer::timeout, this, &MainWindow::refresh);
  if (QDir(spoolDir_).exists()) watcher_.addPath(spoolDir_);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &MainWindow::refreshSoon);
  refresh();
}

void MainWindow::refreshSoon() {
  if (!refreshTimer_.isActive()) refreshTimer_.start();
}

void MainWindow::refresh() {
  // A spool directory removed and made again is watched anew.
  if (!watcher_.directories().contains(spoolDir_) && QDir(spoolDir_).exists())
    watcher_.addPath(spoolDir_);
  std::vector<std::string> names;
  for (const QString& n : QDir(spoolDir_).entryList(QDir::Files | QDir::NoDotAndDotDot))
    names.push_back(n.toStdString());
  const std::vector<std::string> pending = pendingTextJobs(names);
  QStringList items;
  items.reserve(static_cast<int>(pending.size()));
  for (const std::string& n : pending) items << QString::fromStdString(n);
  bool same = list_->count() == items.size();
  for (int i = 0; same && i < items.size(); ++i) same = list_->item(i)->text() == items[i];
  if (same) return;
  list_->clear();
  list_->addItems(items);
}

void MainWindow::setCurrentJob(const QString& name) {
  jobName_->setText(name);
  if (name.isEmpty()) progress_->setProgress(0, 0);
  refreshSoon();
}

void MainWindow::updateStart() {
  start_->setEnabled(!maintenanceRunning_ && (modSpool_->isChecked() || modProgram_->isChecked()));
}

void MainWindow::setMaintenanceRunning(bool running) {
  maintenanceRunning_ = running;
  modSpool_->setEnabled(!running);
  modProgram_->setEnabled(!running);
  updateStart();
}

void MainWindow::showFromTray() {
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::changeEvent(QEvent* event) {
  // Minimised, the window goes to the tray, not to the task bar.
  if (hideWhenMinimised && event->type() == QEvent::WindowStateChange && isMinimized())
    QTimer::singleShot(0, this, [this] { hide(); });
  QWidget::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The tool lives on in the tray; "Baigti" ends it.
  event->ignore();
  if (hideWhenMinimised)
    hide();
  else
    showMinimized();
}

}  // namespace marvena
