#include "linux/cli/command.h"

namespace varnox::cli {

extern const Command kAboutCommand;
extern const Command kBlackListCommand;
extern const Command kClassifyCommand;
extern const Command kEvalCommand;
extern const Command kHeadersCommand;
extern const Command kHelpCommand;
extern const Command kInitCommand;
extern const Command kLearnCommand;
extern const Command kMarkSpamCommand;
extern const Command kNotSpamCommand;
extern const Command kServiceCommand;
extern const Command kSettingsCommand;
extern const Command kStatsCommand;
extern const Command kStatusCommand;
extern const Command kSupportCommand;
extern const Command kTrainCommand;
extern const Command kWatchCommand;
extern const Command kWhiteListCommand;

std::span<const Command* const> Commands() {
  // In the order of `varnox --help`: setting up, the main job, the
  // toolbar's commands, teaching and judging files, the dialogs, information.
  static const Command* const kCommands[] = {
      &kInitCommand,       // setting up
      &kStatusCommand,     //
      &kWatchCommand,      // the main job
      &kServiceCommand,    //
      &kMarkSpamCommand,   // the toolbar's commands
      &kNotSpamCommand,    //
      &kTrainCommand,      //
      &kHeadersCommand,    //
      &kLearnCommand,      // teaching and judging
      &kClassifyCommand,   //
      &kEvalCommand,       //
      &kStatsCommand,      //
      &kBlackListCommand,  // the dialogs
      &kWhiteListCommand,  //
      &kSettingsCommand,   //
      &kAboutCommand,      // information
      &kHelpCommand,       //
      &kSupportCommand,    //
  };
  return kCommands;
}

}  // namespace varnox::cli
