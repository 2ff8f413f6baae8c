#include "params/parameter_files.h"

#include "platform/atomic_file.h"
#include "show/beside_files.h"

namespace lumarex {

namespace {

constexpr const char* kCannotWrite = "Kein Schreiben möglich";

}  // namespace

ProjectorLoad ParameterFiles::LoadProjectorParameters(const std::string& chosen) {
  if (!IsProjectorParameterName(chosen)) {
    desktop_.ShowMessage("Ungültige Datei");
    return ProjectorLoad::kBadName;
  }
  ParameterRecord record;
  switch (ReadParameterRecordFile(chosen, record)) {
    case ParameterFileRead::kOk:
      break;
    case ParameterFileRead::kCannotOpen:
      desktop_.ShowMessage("Lesefehler");
      return ProjectorLoad::kCannotOpen;
    case ParameterFileRead::kBadLength:
      desktop_.ShowMessage("Ungültige Dateilänge");
      return ProjectorLoad::kBadLength;
    case ParameterFileRead::kReadFailed:
      desktop_.ShowMessage("PROJEKTOR PARAMETER nicht gefunden");
      desktop_.ShowMessage("Ungültige Datei");
      return ProjectorLoad::kFailed;
  }
  ApplyParameterRecord(controls_, record, false);
  desktop_.ProcessPendingMessages();
  return ProjectorLoad::kApplied;
}

std::optional<std::string> ParameterFiles::SaveProjectorParameters(const std::string& chosen) {
  const ParameterRecord record = CaptureParameterRecord(controls_);
  const std::string name = ProjectorParameterSaveName(chosen);
  switch (WriteRecord(name, record, false)) {
    case WriteOutcome::kOk:
      return name;
    case WriteOutcome::kCannotCreate:
      store_.IoStatus = kCannotWrite;
      return std::nullopt;
    case WriteOutcome::kShortWrite:
      store_.IoStatus.clear();
      return std::nullopt;
    case WriteOutcome::kFailed:
      break;
  }
  desktop_.ShowMessage("Not Save Projektor Parameter File");
  return std::nullopt;
}

bool ParameterFiles::LoadShowParameters(const std::string& showPath) {
  const std::optional<std::string> path = FindShowParametersBeside(showPath);
  return path && LoadShowParameterFile(*path);
}

bool ParameterFiles::LoadShowParameterFile(const std::string& path) {
  ParameterRecord record;
  if (ReadParameterRecordFile(path, record) != ParameterFileRead::kOk) return false;
  ApplyParameterRecord(controls_, record, true);
  ShowParameterImage();
  desktop_.ProcessPendingMessages();
  return true;
}

bool ParameterFiles::SaveShowParameters(const std::string& showPath) {
  const std::string name = ShowParameterFileName(showPath);
  const ParameterRecord record = CaptureParameterRecord(controls_);
  if (WriteRecord(name, record, true) == WriteOutcome::kOk) return true;
  // Whatever went wrong, the file was not written, and IoStatus is the only place a show
  // parameter file reports to.
  store_.IoStatus = kCannotWrite;
  return false;
}

void ParameterFiles::SaveShowparameter() {
  if (store_.ShowFileName.empty()) {
    desktop_.ShowMessage("Speichern z.Z. Nicht möglich ");
    return;
  }
  // The image says a parameter set belongs to the show, which is true only once it is saved.
  if (SaveShowParameters(store_.ShowFileName)) ShowParameterImage();
}

void ParameterFiles::ShowStartupProtection() {
  controls_.Parameter_Auf.SetHint("kein Überschreibschutz ");
  controls_.Parameter_Zu.SetHint("Überschreibschutz gesetzt");
  controls_.Parameter_Auf.SetVisible(true);
  controls_.Parameter_Zu.SetVisible(false);
}

void ParameterFiles::Parameter_AufClick() {
  controls_.Parameter_Auf.SetVisible(false);
  controls_.Parameter_Zu.SetVisible(true);
}

void ParameterFiles::Parameter_ZuClick() {
  controls_.Parameter_Zu.SetVisible(false);
  controls_.Parameter_Auf.SetVisible(true);
}

ParameterFiles::WriteOutcome ParameterFiles::WriteRecord(const std::string& path,
                                                         const ParameterRecord& record,
                                                         bool processMessagesOnceCreated) {
  AtomicFile file;
  if (!file.Open(path)) return WriteOutcome::kCannotCreate;
  if (processMessagesOnceCreated) desktop_.ProcessPendingMessages();
  if (!file.Write(record.bytes.data(), record.bytes.size())) return WriteOutcome::kShortWrite;
  if (!file.Commit()) return WriteOutcome::kFailed;
  return WriteOutcome::kOk;
}

void ParameterFiles::ShowParameterImage() {
  controls_.Parameter.SetHint("Parametersatz zur Show wurde gefunden");
  controls_.Parameter.SetVisible(true);
}

}  // namespace lumarex
