// lumarex: the desktop program. Starts as the main window starts (DAC library, devices, audio,
// the single-instance guard), then runs the two windows until the main window closes.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "qt/program.h"

namespace {

// "Close Lumarex ....." as a notice that closes itself; on the terminal when no one watches.
void SayGoodbye(bool onScreen) {
  if (!onScreen) {
    std::cerr << lumarex::Tform1::kCloseMessage << '\n';
    return;
  }
  QMessageBox box(QMessageBox::Information, "Lumarex", lumarex::Tform1::kCloseMessage,
                  QMessageBox::NoButton);
  box.setModal(false);
  box.show();
  lumarex::qt::WaitProcessingEvents(800);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Lumarex");
  QCommandLineParser parser;
  parser.setApplicationDescription("Lumarex, the laser-show player");
  parser.addHelpOption();
  parser.addOption({"play", "Press Play once the show is loaded."});
  parser.addOption({"loop", "Start the show again at its end (Extras > Wiederholen)."});
  parser.addOption({"verbose", "Print the start-up steps and the device probe."});
  parser.addPositionalArgument("SHOW", "A show file to load as \"Load File\" loads it.", "[SHOW]");
  parser.process(app);

  lumarex::qt::Program::Options options;
  options.verbose = parser.isSet("verbose");
  lumarex::qt::Program program(options);
  lumarex::SingleInstanceGuard guard(lumarex::Tform1::kInstanceName);
  const lumarex::StartOutcome outcome = program.Start(&guard);
  if (outcome == lumarex::StartOutcome::kAnotherInstance) return 0;
  if (outcome == lumarex::StartOutcome::kAudioFailed) return 1;

  lumarex::Tform1& form = program.Form();
  const QStringList shows = parser.positionalArguments();
  if (!shows.isEmpty()) form.LoadFile(shows.front().toStdString());
  if (parser.isSet("loop")) form.Wiederholen.Click();
  if (parser.isSet("play")) form.Player.Play.Click();

  const int status = QApplication::exec();
  form.FormClose();
  guard.Release();
  const char* quiet = std::getenv("LUMAREX_QUIET");
  const bool onScreen = (quiet == nullptr || std::string(quiet) != "1") &&
                        QApplication::platformName() != "offscreen" &&
                        QApplication::platformName() != "minimal";
  SayGoodbye(onScreen);
  return status;
}
