#include "linux/cli/command.h"

namespace varnox::cli {

extern const Command kAboutCommand;
extern const Command kBlackListCommand;
extern const Command kClassifyCommand;
extern const Command kEvalCommand;
extern const Command kHelpCommand;
extern const Command kInitCommand;
extern const Command kLearnCommand;
extern const Command kSettingsCommand;
extern const Command kStatsCommand;
extern const Command kStatusCommand;
extern const Command kSupportCommand;
extern const Command kWhiteListCommand;

std::span<const Command* const> Commands() {
  static const Command* const kCommands[] = {
      &kInitCommand,  &kStatusCommand,    &kLearnCommand,     &kClassifyCommand,
      &kEvalCommand,  &kStatsCommand,     &kBlackListCommand, &kWhiteListCommand,
      &kSettingsCommand, &kAboutCommand,  &kHelpCommand,      &kSupportCommand,
  };
  return kCommands;
}

}  // namespace varnox::cli
