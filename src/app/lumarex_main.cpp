// lumarex: the desktop program. Starts as the main window starts (DAC library, devices, audio,
// the single-instance guard), then runs the two windows until the main window closes.

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <optional>

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

// --midi takes its port name part only when one follows: a bare --midi (the last argument, or
// one followed by an option or by a file that exists) is given an empty one.
QStringList WithMidiName(QStringList arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] != "--midi") continue;
    const bool named = i + 1 < arguments.size() && !arguments[i + 1].startsWith('-') &&
                       !QFileInfo::exists(arguments[i + 1]);
    if (named) {
      arguments[i] = "--midi=" + arguments[i + 1];
      arguments.removeAt(i + 1);
    } else {
      arguments[i] = "--midi=";
    }
  }
  return arguments;
}

// A number option in its range, or a message and false.
bool ReadNumber(const QCommandLineParser& parser, const QString& name, int low, int high,
                std::optional<int>& value) {
  if (!parser.isSet(name)) return true;
  bool ok = false;
  const int number = parser.value(name).toInt(&ok);
  if (!ok || number < low || number > high) {
    std::cerr << "lumarex: --" << name.toStdString() << " takes a number " << low << ".." << high
              << '\n';
    return false;
  }
  value = number;
  return true;
}

bool ReadInputOptions(const QCommandLineParser& parser, lumarex::qt::Program::Options& options) {
  lumarex::RemoteInputOptions& in = options.inputs;
  std::optional<int> osc, universe, address, channel;
  if (!ReadNumber(parser, "osc", 1, 65535, osc) ||
      !ReadNumber(parser, "dmx-universe", 0, 63999, universe) ||
      !ReadNumber(parser, "dmx-address", 1, 509, address) ||
      !ReadNumber(parser, "midi-channel", 1, 16, channel)) {
    return false;
  }
  if (osc) in.oscPort = static_cast<uint16_t>(*osc);
  if (universe) in.dmxUniverse = static_cast<uint16_t>(*universe);
  if (address) in.dmxAddress = static_cast<uint16_t>(*address);
  in.midiChannel = channel;
  in.artnet = parser.isSet("artnet");
  in.sacn = parser.isSet("sacn");
  if (parser.isSet("midi")) in.midiPort = parser.value("midi").toStdString();
  in.midiMap = parser.value("midi-map").toStdString();
  in.artnetAddress = parser.value("artnet-address").toStdString();
  in.sacnInterface = parser.value("sacn-interface").toStdString();
  options.setList = parser.value("setlist").toStdString();
  lumarex::ClockSettings& clock = options.clock;
  const QString clockName = parser.value("clock");
  if (clockName != "system" && clockName != "audio") {
    std::cerr << "lumarex: --clock takes system or audio\n";
    return false;
  }
  clock.audio = clockName == "audio";
  clock.timecode = parser.value("timecode").toStdString();
  if (clock.audio && !clock.timecode.empty()) {
    std::cerr << "lumarex: --clock audio and --timecode cannot both set the show's time\n";
    return false;
  }
  if (parser.isSet("tc-start")) {
    clock.start = parser.value("tc-start").toStdString();
    if (!lumarex::ParseTimecode(clock.start, lumarex::TimecodeRate::k30)) {
      std::cerr << "lumarex: --tc-start takes HH:MM:SS:FF\n";
      return false;
    }
  }
  std::optional<int> freewheel;
  if (!ReadNumber(parser, "tc-freewheel", 0, 60000, freewheel)) return false;
  if (freewheel) clock.freewheelMs = static_cast<uint32_t>(*freewheel);
  clock.hourSelects = parser.isSet("tc-hour-selects");
  options.projection = parser.value("projection").toStdString();
  options.rig = parser.value("rig").toStdString();
  return true;
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
  parser.addOption({"verbose", "Print the start-up steps, the device probe and every command."});
  parser.addOption({"setlist", "Open a set list (.m3u, .m3u8) and cue its first entry.", "LIST"});
  parser.addOption({"osc", "Receive OSC on this UDP port.", "PORT"});
  parser.addOption({"artnet", "Receive Art-Net DMX (UDP 6454)."});
  parser.addOption({"sacn", "Receive sACN / E1.31 DMX (UDP 5568)."});
  parser.addOption({"dmx-universe", "DMX universe (default 0 for Art-Net, 1 for sACN).", "U"});
  parser.addOption({"dmx-address", "First of the four DMX channels (default 1).", "A"});
  parser.addOption({"midi",
                    "Receive MIDI on the input port \"Lumarex\"; with NAME, connect every "
                    "output port whose name contains it.",
                    "NAME"});
  parser.addOption({"artnet-address",
                    "Also take Art-Net sent to this IPv4 address of ours (a desk on this "
                    "computer).",
                    "IP"});
  parser.addOption(
      {"sacn-interface", "Join the sACN multicast group on this IPv4 address's interface.", "IP"});
  parser.addOption({"midi-channel", "Only this MIDI channel, 1..16 (default: any).", "N"});
  parser.addOption({"midi-map", "MIDI map file (JSON).", "FILE"});
  parser.addOption({"clock",
                    "What the show's time is counted on: system (default) or audio, the music "
                    "as the sound card plays it.",
                    "CLOCK", "system"});
  parser.addOption({"timecode",
                    "Follow timecode: artnet, mtc[:PORT], ltc[:DEVICE] or ltc-file:PATH.",
                    "SOURCE"});
  parser.addOption(
      {"tc-start", "The timecode at which the show starts (default 00:00:00:00).", "HH:MM:SS:FF"});
  parser.addOption({"tc-freewheel",
                    "Milliseconds the show goes on without timecode before it holds dark "
                    "(default 500).",
                    "MS"});
  parser.addOption(
      {"projection", "Projection file (corners, warp, masks, safe area) for the output.", "FILE"});
  parser.addOption({"rig",
                    "Rig file: the projectors to play to, each with its device, calibration and "
                    "projection.",
                    "FILE"});
  parser.addOption({"tc-hour-selects",
                    "The hour of the timecode selects the set list entry (hour 1 = entry 1)."});
  parser.addPositionalArgument("SHOW", "A show file to load as \"Load File\" loads it.", "[SHOW]");
  parser.process(WithMidiName(QApplication::arguments()));

  lumarex::qt::Program::Options options;
  options.verbose = parser.isSet("verbose");
  if (!ReadInputOptions(parser, options)) return 2;
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
