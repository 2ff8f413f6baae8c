#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "params/parameter_controls.h"
#include "platform/desktop_services.h"
#include "show/show_store.h"

namespace lumarex {

enum class ProjectorLoad : uint8_t {
  kApplied,
  kBadName,     // "Ungültige Datei"
  kCannotOpen,  // "Lesefehler"
  kBadLength,   // "Ungültige Dateilänge"
  kFailed,      // "PROJEKTOR PARAMETER nicht gefunden", then "Ungültige Datei"
};

// The projector (.PRO) and show (.SHW) parameter files of the main window. Projector files
// report their failures in message boxes and leave the controls as they were; show files fail
// silently on reading and leave their message in IoStatus on writing. Every file is written
// beside its target and renamed into place only when complete, so a failed save never leaves
// a damaged file. User-interface thread only; nothing here throws.
class ParameterFiles {
 public:
  ParameterFiles(const ParameterControls& controls, ShowStore& store, DesktopServices& desktop)
      : controls_(controls), store_(store), desktop_(desktop) {}

  // "Load projector parameters" of the file the open dialog chose; the caller has stopped the
  // start animation and the output, cleared the preview and shown the dialog. The file's size
  // is not the show's: ShowFileSize stays.
  ProjectorLoad LoadProjectorParameters(const std::string& chosen);

  // "Save projector parameters" under the name the save dialog chose, ".PRO" appended unless
  // it ends so. Answers the name written; on failure nothing, with IoStatus
  // "Kein Schreiben möglich" (cannot create), IoStatus emptied (short write) or the message
  // "Not Save Projektor Parameter File" (could not be closed and moved into place).
  std::optional<std::string> SaveProjectorParameters(const std::string& chosen);

  // Takes the show parameter file beside a just loaded show, if there is a readable one of 50
  // or 51 bytes (its name is matched without regard to case), then shows the image Parameter
  // and lets pending messages be processed. True when a record was applied; nothing is
  // reported either way.
  bool LoadShowParameters(const std::string& showPath);
  // The same for a show parameter file named directly.
  bool LoadShowParameterFile(const std::string& path);

  // Writes the controls' record beside a show file (ShowParameterFileName), letting pending
  // messages be processed once the file is created. False with IoStatus
  // "Kein Schreiben möglich" when it could not be written.
  bool SaveShowParameters(const std::string& showPath);

  // The menu command "Save Showparameter": the record beside the loaded show, then the image
  // Parameter; without a show the message "Speichern z.Z. Nicht möglich ".
  void SaveShowparameter();

  // The overwrite protection as the main window starts: off, Parameter_Auf showing.
  void ShowStartupProtection();
  // The clicks on the two lock images: Parameter_Auf turns the protection on, Parameter_Zu off.
  void Parameter_AufClick();
  void Parameter_ZuClick();
  bool Protected() const { return OverwriteProtected(controls_); }

 private:
  enum class WriteOutcome : uint8_t { kOk, kCannotCreate, kShortWrite, kFailed };
  WriteOutcome WriteRecord(const std::string& path, const ParameterRecord& record,
                           bool processMessagesOnceCreated);
  void ShowParameterImage();

  ParameterControls controls_;
  ShowStore& store_;
  DesktopServices& desktop_;
};

}  // namespace lumarex
