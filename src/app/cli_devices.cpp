#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/cli_context.h"
#include "output/device_selection.h"
#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "widgets/status_image.h"

namespace lumarex::cli {

namespace {

void AddDevicesCommand(CLI::App& app, CliContext& context) {
  auto json = std::make_shared<bool>(false);
  CLI::App* cmd = app.add_subcommand(
      "devices", "List the laser DACs the driver library finds, with their highest point rate");
  cmd->add_flag("--json", *json, "Print one JSON array");
  cmd->callback([json, &context] {
    // The program's own start-up probe, through the main window's objects.
    Tform1& form = context.Window(true);
    if (!form.Dac.DacLibraryLoaded()) {
      context.Failed();
      return;
    }
    const DeviceSelection& selection = form.Devices;

    const int32_t listed = std::clamp(selection.DeviceCount, 0, DeviceSelection::kTableSize);
    if (*json) {
      nlohmann::ordered_json devices = nlohmann::ordered_json::array();
      for (int32_t i = 0; i < listed; ++i) {
        const DeviceEntry& e = selection.DeviceTable[static_cast<size_t>(i)];
        devices.push_back({{"index", i},
                           {"Name", e.Name},
                           {"FriendlyName", e.FriendlyName},
                           {"MaxSpeed", e.MaxSpeed}});
      }
      std::cout << devices.dump() << '\n';
      return;
    }
    std::cout << "Index\tName\tFriendlyName\tMaxSpeed\n";
    for (int32_t i = 0; i < listed; ++i) {
      const DeviceEntry& e = selection.DeviceTable[static_cast<size_t>(i)];
      std::cout << i << '\t' << e.Name << '\t' << e.FriendlyName << '\t' << e.MaxSpeed << '\n';
    }
    if (selection.DeviceCount > listed) {
      std::cerr << "lumarex-cli: " << selection.DeviceCount - listed
                << " more devices beyond the first " << listed << " are not used\n";
    }
  });
}

const CommandRegistration kRegistration{52, AddDevicesCommand};

}  // namespace

}  // namespace lumarex::cli
