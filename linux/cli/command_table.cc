#include "linux/cli/command.h"

namespace varnox::cli {

extern const Command kClassifyCommand;
extern const Command kEvalCommand;
extern const Command kInitCommand;
extern const Command kLearnCommand;
extern const Command kStatusCommand;

std::span<const Command* const> Commands() {
  static const Command* const kCommands[] = {
      &kInitCommand, &kStatusCommand, &kLearnCommand, &kClassifyCommand, &kEvalCommand,
  };
  return kCommands;
}

}  // namespace varnox::cli
