// Reading message files into the filter's texts ahead of their use, on
// worker threads, handed out in list order. Reading (the file, MIME, HTML,
// charsets) is most of the work of an evaluation and each file is read on
// its own, so it spreads over the processors while the one filter, which
// must see the messages in order, learns or judges on the calling thread.
#ifndef VARNOX_LINUX_EVAL_READ_AHEAD_H_
#define VARNOX_LINUX_EVAL_READ_AHEAD_H_

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mime/mime_reader.h"

namespace varnox::eval {

class ReadAhead {
 public:
  // Reads `paths` (which must outlive this object) with `readers` threads;
  // 0 reads each file on the calling thread when it is asked for. At most
  // kWindow messages are held read but not yet taken.
  ReadAhead(const std::vector<const std::string*>& paths, unsigned readers);
  // Stops the readers (files not yet read are left alone).
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The texts of the next file of the list, waiting for them if needed.
  // False when that file could not be read. Called once for each path, in
  // order, from one thread.
  bool Next(mime::MimeTexts* texts);

  static constexpr std::size_t kWindow = 64;

  // Readers for this machine: one a processor.
  static unsigned DefaultReaders();

 private:
  struct Slot {
    mime::MimeTexts texts;
    bool readable = false;
    bool ready = false;
  };
  void Read();

  const std::vector<const std::string*>& paths_;
  std::mutex mutex_;
  std::condition_variable ready_;  // a slot was filled
  std::condition_variable room_;   // a slot was emptied, or stop
  std::vector<Slot> slots_;        // message i is in slots_[i % kWindow]
  std::size_t claimed_ = 0;        // messages handed to readers
  std::size_t taken_ = 0;          // messages handed out by Next
  bool stop_ = false;
  std::vector<std::thread> readers_;
};

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_READ_AHEAD_H_
