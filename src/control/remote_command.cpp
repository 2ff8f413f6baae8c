#include "control/remote_command.h"

namespace lumarex {

bool ApplyRemoteCommand(ControlRegistry& registry, const RemoteCommand& command) {
  using Kind = RemoteCommand::Kind;
  const CommandSource source = command.source;
  const auto entry = [&command] {
    return command.value < 1 ? size_t{0} : static_cast<size_t>(command.value);
  };
  switch (command.kind) {
    case Kind::kPlay:
      return registry.Play(source);
    case Kind::kStop:
      return registry.Stop(source);
    case Kind::kBlackout:
      return registry.Blackout(source);
    case Kind::kLoad:
      return registry.Load(command.text, source);
    case Kind::kGo:
      return registry.Go(entry(), source);
    case Kind::kCue:
      return registry.Cue(entry(), source);
    case Kind::kNext:
      return registry.Next(source);
    case Kind::kPrevious:
      return registry.Previous(source);
    case Kind::kSet:
      return registry.Set(command.text, command.value, source);
  }
  return false;
}

}  // namespace lumarex
