// The save range marks and the removal of every second frame.

#include <string>

#include "mainwindow/tform1.h"

namespace lumarex {

void Tform1::FilestartClick() {
  if (startTimer_.Enabled()) return;
  Store.SaveRangeStart = Player.Framescroll.Position();
  if (Store.SaveRangeStart >= Store.SaveRangeEnd) Store.SaveRangeStart = Store.SaveRangeEnd;
  Savefrom.TextOut(
      10, 9, "Save File Start : " + std::to_string(Store.SaveRangeStart) + std::string(24, ' '));
}

void Tform1::FileendeClick() {
  if (startTimer_.Enabled()) return;
  Store.SaveRangeEnd = Player.Framescroll.Position();
  if (Store.SaveRangeEnd <= Store.SaveRangeStart) Store.SaveRangeEnd = Store.SaveRangeStart;
  Savefrom.TextOut(
      10, 33, "Save File End   : " + std::to_string(Store.SaveRangeEnd) + std::string(13, ' '));
}

void Tform1::Kill_Frame_2_4Click() {
  Player.HaltPlayback();
  if (!desktop_.ConfirmYesNo("Soll wirklich jedes 2te Frame gelöscht werden ?")) return;
  if (Store.FrameCount < 3) return;
  Store.RemoveEverySecondFrame();
  Player.Framescroll.SetRange(0, Store.FrameCount - 1);
  Player.Framescroll.SetPosition(0);
  CurrentFrame = 0;
  Store.SaveRangeStart = 0;
  Store.SaveRangeEnd = Store.FrameCount - 1;
  Savefrom.TextOut(10, 9, "Save File Start");
  Savefrom.TextOut(10, 33, "Save File End");
  Savefrom.TextOut(83, 9, ": 0" + std::string(13, ' '));
  Savefrom.TextOut(83, 33, ": " + std::to_string(Store.FrameCount - 1) + std::string(12, ' '));
}

}  // namespace lumarex
