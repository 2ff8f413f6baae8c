// The menus "Projektorparameter" and "Showparameter" and the overwrite lock images.

#include "mainwindow/tform1.h"

namespace lumarex {

namespace {

constexpr const char kProjectorLoadFilter[] = "Projektor Parameter *.PRO|*.pro;*.PRO";
constexpr const char kProjectorSaveFilter[] = "*.PRO |*.PRO Projektor Parameter";

}  // namespace

void Tform1::StopForCommand() {
  StopStartAnimation();
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
}

void Tform1::Load_ParameterClick() {
  StopForCommand();
  if (const auto chosen =
          desktop_.ChooseFileToOpen("Load_Projektor_Parameter", kProjectorLoadFilter)) {
    Parameters.LoadProjectorParameters(*chosen);
  }
}

ProjectorLoad Tform1::LoadProjectorFile(const std::string& path) {
  StopForCommand();
  return Parameters.LoadProjectorParameters(path);
}

void Tform1::SaveParameterClick() {
  StopForCommand();
  if (const auto chosen =
          desktop_.ChooseFileToSave("Save_Projektor_Parameter", kProjectorSaveFilter)) {
    Parameters.SaveProjectorParameters(*chosen);
  }
}

std::optional<std::string> Tform1::SaveProjectorFile(const std::string& path) {
  StopForCommand();
  return Parameters.SaveProjectorParameters(path);
}

void Tform1::SaveParameter1Click() {
  Parameters.SaveShowparameter();
}

void Tform1::Parameter_AufClick() {
  Parameters.Parameter_AufClick();
}

void Tform1::Parameter_ZuClick() {
  Parameters.Parameter_ZuClick();
}

}  // namespace lumarex
