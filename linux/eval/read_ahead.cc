#include "linux/eval/read_ahead.h"

#include <exception>
#include <utility>

#include "linux/eval/message_source.h"

namespace varnox::eval {
namespace {

// A file that cannot be read for want of memory counts as unreadable; no
// exception may leave a reader thread.
bool ReadTexts(const std::string& path, mime::MimeTexts* texts) {
  try {
    return ReadTextsOfFile(path, texts);
  } catch (const std::exception&) {
    *texts = {};
    return false;
  }
}

}  // namespace

unsigned ReadAhead::DefaultReaders() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors > 0 ? processors : 1;
}

ReadAhead::ReadAhead(const std::vector<const std::string*>& paths, unsigned readers)
    : paths_(paths), slots_(readers > 0 ? kWindow : 0) {
  for (unsigned i = 0; i < readers && i < paths.size(); ++i)
    readers_.emplace_back([this] { Read(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  for (std::thread& reader : readers_)
    reader.join();
}

void ReadAhead::Read() {
  std::unique_lock lock(mutex_);
  while (true) {
    // A message may be claimed once the one kWindow before it was taken,
    // so that its slot is free.
    room_.wait(
        lock, [this] { return stop_ || claimed_ == paths_.size() || claimed_ < taken_ + kWindow; });
    if (stop_ || claimed_ == paths_.size())
      return;
    const std::size_t index = claimed_++;
    lock.unlock();
    mime::MimeTexts texts;
    const bool readable = ReadTexts(*paths_[index], &texts);
    lock.lock();
    Slot& slot = slots_[index % kWindow];
    slot.texts = std::move(texts);
    slot.readable = readable;
    slot.ready = true;
    ready_.notify_all();
  }
}

bool ReadAhead::Next(mime::MimeTexts* texts) {
  if (readers_.empty())
    return ReadTexts(*paths_[taken_++], texts);
  std::unique_lock lock(mutex_);
  Slot& slot = slots_[taken_ % kWindow];
  ready_.wait(lock, [&slot] { return slot.ready; });
  *texts = std::move(slot.texts);
  const bool readable = slot.readable;
  slot.ready = false;
  ++taken_;
  lock.unlock();
  room_.notify_all();
  return readable;
}

}  // namespace varnox::eval
