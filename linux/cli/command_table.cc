#include "linux/cli/command.h"

namespace varnox::cli {

extern const Command kInitCommand;
extern const Command kStatusCommand;

std::span<const Command* const> Commands() {
  static const Command* const kCommands[] = {
      &kInitCommand,
      &kStatusCommand,
  };
  return kCommands;
}

}  // namespace varnox::cli
