#include "qt/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

namespace lumarex::qt {

void QtDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

QtUiTimer::QtUiTimer() {
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (OnTimer) OnTimer();
  });
}

void QtUiTimer::SetEnabled(bool enabled) {
  if (enabled == timer_.isActive()) return;
  if (enabled) {
    timer_.start();
  } else {
    timer_.stop();
  }
}

void QtUiTimer::SetInterval(uint32_t ms) {
  timer_.setInterval(static_cast<int>(ms));
}

QString QtFilter(const std::string& filter) {
  // The program's filters are "description|patterns" pairs; the description is shown as it
  // stands, and of the pattern text only the globs count (one filter has words among them).
  const QStringList parts = QString::fromStdString(filter).split('|');
  const QRegularExpression separators("[;\\s]+");
  QStringList entries;
  for (qsizetype k = 0; k + 1 < parts.size(); k += 2) {
    QStringList globs;
    for (const QString& token : parts[k + 1].split(separators, Qt::SkipEmptyParts)) {
      if (!token.startsWith('*')) continue;
      // Linux file names are case-sensitive; the patterns name one spelling of each.
      globs << token << token.toLower() << token.toUpper();
    }
    globs.removeDuplicates();
    if (globs.isEmpty()) continue;
    QString description = parts[k];
    if (!description.endsWith(' ')) description += ' ';
    entries << description + "(" + globs.join(' ') + ")";
  }
  return entries.join(";;");
}

void QtDesktopServices::ProcessPendingMessages() {
  if (beforeEvents) beforeEvents();
  QApplication::processEvents();
}

void QtDesktopServices::ProcessPendingMessagesAndRepaint() {
  ProcessPendingMessages();
  // The repaints asked for meanwhile are posted events themselves, left for the next call.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

void QtDesktopServices::ShowMessage(const std::string& text) {
  if (scripted) {
    shownMessages.push_back(text);
    return;
  }
  QMessageBox::information(owner_, QApplication::applicationName(), QString::fromStdString(text));
}

void QtDesktopServices::ShowErrorMessage(const std::string& caption, const std::string& text) {
  if (scripted) {
    shownMessages.push_back(text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

namespace {

std::optional<std::string> Chosen(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

}  // namespace

std::optional<std::string> QtDesktopServices::ChooseFileToOpen(const std::string& dialog,
                                                               const std::string& filter) {
  if (scripted) {
    if (scriptedPaths.empty()) return std::nullopt;
    std::string path = scriptedPaths.front();
    scriptedPaths.erase(scriptedPaths.begin());
    return path;
  }
  return Chosen(
      QFileDialog::getOpenFileName(owner_, QString::fromStdString(dialog), {}, QtFilter(filter)));
}

std::optional<std::string> QtDesktopServices::ChooseFileToSave(const std::string& dialog,
                                                               const std::string& filter) {
  if (scripted) return ChooseFileToOpen(dialog, filter);
  return Chosen(
      QFileDialog::getSaveFileName(owner_, QString::fromStdString(dialog), {}, QtFilter(filter)));
}

bool QtDesktopServices::ConfirmYesNo(const std::string& question) {
  if (scripted) {
    shownMessages.push_back(question);
    return scriptedConfirm;
  }
  return QMessageBox::question(owner_, QApplication::applicationName(),
                               QString::fromStdString(question),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

int QtDesktopServices::PointerScreenY() const {
  return QCursor::pos().y();
}

int QtDesktopServices::MainWindowTop() const {
  return mainWindow_ != nullptr ? mainWindow_->geometry().top() : 0;
}

}  // namespace lumarex::qt
