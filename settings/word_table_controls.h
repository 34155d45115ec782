// What the Settings dialog needs of the filter: how many words it knows and
// emptying its table. The filter implements it, so the dialog's logic does
// not depend on the engine.
#ifndef VARNOX_SETTINGS_WORD_TABLE_CONTROLS_H_
#define VARNOX_SETTINGS_WORD_TABLE_CONTROLS_H_

#include <cstddef>

namespace varnox {

class WordTableControls {
 public:
  // The number of distinct words in the table.
  virtual std::size_t WordCount() const = 0;
  // Removes every word (the message counts stay) and saves: 1 when saved.
  virtual int Empty() = 0;

 protected:
  ~WordTableControls() = default;
};

}  // namespace varnox

#endif  // VARNOX_SETTINGS_WORD_TABLE_CONTROLS_H_
