#include <gtest/gtest.h>

#include "fake_driver.h"
#include "output/device_selection.h"
#include "output/device_text.h"
#include "output_fixture.h"

namespace lumarex {
namespace {

using testing::FakeDriver;
using testing::OutputFixture;
using testing::RecordingDesktop;

TEST(FilterDeviceText, KeepsBlanksMinusDigitsAndLettersUpToTheZero) {
  const char text[] = "Laser-DAC #1 (USB)\0ger name (old)";
  EXPECT_EQ(FilterDeviceText(text, sizeof text), "Laser-DAC 1 USB");
  EXPECT_EQ(FilterDeviceText("Ä_ö/ß.:", 100), "");
  // No zero within the buffer: the buffer's end ends the text.
  const char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(FilterDeviceText(unterminated, 3), "abc");
  EXPECT_EQ(FilterDeviceText(nullptr, 100), "");
}

struct SelectionFixture : OutputFixture {
  FakeDriver fake;
  RecordingDesktop desktop;
  DeviceSelection selection{dac, output, deviceFenster};

  void Bind() {
    dac.BindFrom(FAKE_JMLASER_DIR, desktop);
    ASSERT_TRUE(dac.DacLibraryLoaded());
    fake.ClearLog();
  }
};

TEST(DeviceSelection, StartupProbesEveryDeviceAndOpensTheFirst) {
  SelectionFixture f;
  f.fake.AddDevice("Virtual #0", "Virtual (DAC)", 100000);
  f.fake.AddDevice("ED-1", "Ether Dream 1", 30000);
  f.Bind();
  f.output.RedTable[0] = 77;
  f.output.LastEndX = 5;
  f.output.FrameChangeMode = 1;
  f.selection.StartupProbe();

  EXPECT_EQ(f.selection.DeviceCount, 2);
  EXPECT_EQ(f.dac.DeviceHandle, 100);
  EXPECT_EQ(f.output.RedTable, IdentityColourTable());
  EXPECT_EQ(f.output.LastEndX, 0);
  EXPECT_EQ(f.output.FrameChangeMode, 0);
  EXPECT_EQ(f.selection.SelectedDeviceName, "Virtual DAC");
  const DeviceEntry& first = f.selection.DeviceTable[0];
  EXPECT_EQ(first.Name, "Virtual 0");
  EXPECT_EQ(first.FriendlyName, "Virtual DAC");
  EXPECT_EQ(first.MaxSpeed, 100000u);
  EXPECT_TRUE(first.IsOpen);
  EXPECT_EQ(first.Handle, 100);
  EXPECT_FALSE(f.selection.DeviceTable[1].IsOpen);
  EXPECT_EQ(f.selection.DeviceTable[1].Handle, 101);
  EXPECT_EQ(f.selection.DeviceTable[2].Handle, -10);
  EXPECT_EQ(f.fake.Log(),
            "Enumerate;ListEntry 0;Open 100;Close 100;ListEntry 1;Open 101;Close 101;"
            "ListEntry 0;Open 100;");

  f.selection.DrawStartupPanel();
  EXPECT_EQ(f.deviceFenster.TextAt(130, 5), ": 2  Stck");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 20).rfind(": Virtual DAC ", 0), 0u);
  EXPECT_EQ(f.deviceFenster.TextAt(130, 35), ": 100 K");
}

TEST(DeviceSelection, SearchListsTheDevicesAndTheOperatorOpensOne) {
  SelectionFixture f;
  f.fake.AddDevice("A", "Alpha", 100000);
  f.fake.AddDevice("B", "Beta", 30000);
  f.Bind();
  f.selection.StartupProbe();
  int stops = 0;
  f.selection.SetStopPlayback([&] { ++stops; });
  f.fake.ClearLog();

  f.selection.Suche_Device.ClickByOperator();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(f.selection.Ausgabedevice.Items(),
            (std::vector<std::string>{"Bitte wählen ", "Alpha", "Beta"}));
  EXPECT_EQ(f.selection.Ausgabedevice.ItemIndex(), 0);
  EXPECT_EQ(f.selection.SelectedDeviceName, "Nix");
  EXPECT_EQ(f.dac.DeviceHandle, -1);
  EXPECT_EQ(f.fake.Log(),
            "Stop 100;Enumerate;Close 100;ListEntry 0;Open 100;Close 100;ListEntry 1;Open 101;"
            "Close 101;");
  EXPECT_EQ(f.deviceFenster.TextAt(10, 5), "Ausgabedevice           ");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 5), ": 2  Stck");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 20), ":  Noch keine          ");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 35), ":  0 K                       ");

  // Item 0 is the prompt: nothing is opened, stopped or touched.
  f.fake.ClearLog();
  f.selection.Ausgabedevice.ChooseByOperator(0);
  EXPECT_EQ(f.fake.Log(), "");
  EXPECT_EQ(f.dac.DeviceHandle, -1);

  f.selection.Ausgabedevice.ChooseByOperator(2);
  EXPECT_EQ(f.dac.DeviceHandle, 101);
  EXPECT_TRUE(f.selection.DeviceTable[1].IsOpen);
  EXPECT_EQ(f.fake.Log(), "Stop -1;Close -1;ListEntry 1;Open 101;Start 101;");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 20), ": Beta   ");
  EXPECT_EQ(f.deviceFenster.TextAt(10, 35), "Max Ausgabespeed     ");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 35), ": 30 K");

  f.fake.ClearLog();
  f.selection.Ausgabedevice.ChooseByOperator(1);
  EXPECT_EQ(f.fake.Log(), "Stop 101;Close 101;ListEntry 0;Open 100;Start 100;");
  EXPECT_FALSE(f.selection.DeviceTable[1].IsOpen);
  EXPECT_TRUE(f.selection.DeviceTable[0].IsOpen);

  // The transform writes to the device just opened.
  f.fake.ClearLog();
  f.Stage({testing::Lit(0, 0)});
  EXPECT_EQ(f.fake.Log(), "Write 100 5;");
  EXPECT_EQ(f.fake.LastFrame(), f.Sent());

  // A device that will not open (taken by another program, gone since the search) is not
  // shown as chosen: its name stands beside a mark that it is not open.
  f.fake.SetOpenResult(-5);
  f.selection.Ausgabedevice.ChooseByOperator(2);
  EXPECT_EQ(f.dac.DeviceHandle, -1);
  EXPECT_FALSE(f.selection.DeviceTable[1].IsOpen);
  EXPECT_EQ(f.deviceFenster.TextAt(10, 20), "Nicht geöffnet                   ");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 20), ": Beta   ");
  f.fake.SetOpenResult(0);
  f.selection.Ausgabedevice.ChooseByOperator(2);
  EXPECT_EQ(f.deviceFenster.TextAt(10, 20), "Ausgewählt                       ");
}

TEST(DeviceSelection, EmptyFramesKeepThePaceOfTheLastFrame) {
  SelectionFixture f;
  f.fake.AddDevice("A", "Alpha", 100000);
  f.Bind();
  f.selection.StartupProbe();
  f.store.AppendEmptyFrame();
  f.fake.ClearLog();
  // Before any frame went out there is no last rate; the device is never told 0.
  f.output.OutputFrame(0);
  EXPECT_EQ(f.fake.Log(), "Write 100 1;");
  EXPECT_EQ(f.fake.LastSpeed(), 25000);

  f.output.Scanspeed.SetPosition(40);
  f.Stage({testing::Lit(0, 0)});
  f.output.Scanspeed.SetPosition(30);
  f.output.OutputFrame(0);
  EXPECT_EQ(f.fake.LastSpeed(), 40000);
}

TEST(DeviceSelection, TakesAtMostSeventeenDevices) {
  SelectionFixture f;
  std::vector<std::string> names;
  for (int k = 0; k < 20; ++k) names.push_back("Dev " + std::to_string(k));
  for (const std::string& name : names) f.fake.AddDevice(name.c_str(), name.c_str(), 20000);
  f.Bind();
  f.selection.Search();
  EXPECT_EQ(f.selection.DeviceCount, 20);
  EXPECT_EQ(f.selection.Ausgabedevice.ItemCount(), 1 + 17);
  EXPECT_EQ(f.selection.DeviceTable[16].Name, "Dev 16");
  f.fake.ClearLog();
  f.selection.Select(19);  // device 18: never probed, no entry
  EXPECT_EQ(f.fake.Log(), "");
}

TEST(DeviceSelection, WithoutLibraryNothingIsFound) {
  OutputFixture f;
  DeviceSelection selection{f.dac, f.output, f.deviceFenster};
  selection.StartupProbe();
  EXPECT_EQ(selection.DeviceCount, -999);
  EXPECT_EQ(f.dac.DeviceHandle, -1);
  selection.DrawStartupPanel();
  EXPECT_EQ(f.deviceFenster.TextAt(10, 20), "Kein Ausgabedevice gefunden");
  EXPECT_EQ(f.deviceFenster.TextAt(130, 5), ": 0  Stck");
  selection.Search();
  EXPECT_EQ(selection.Ausgabedevice.ItemCount(), 0);
  EXPECT_EQ(f.deviceFenster.TextAt(10, 20), "Kein Ausgabedevice gefunden");
}

}  // namespace
}  // namespace lumarex
