// One process owns a word database at a time. The commands that teach the
// filter or keep it loaded while they run (watch, train, mark-spam,
// not-spam, learn, emptying it) take an exclusive lock on a file beside the
// database, WORDFILE.lock, for as long as they hold the table in memory: two
// of them at once would each save their own table over the other's, and
// counts would be lost.
//
// The lock is flock(2) on that file, so it is released by the kernel when
// the process ends, however it ends; the file itself stays (removing it
// would race with a process about to lock it). The holder writes its process
// id and command into the file, so that the next one can say who holds it.
#ifndef VARNOX_LINUX_WATCH_DATABASE_LOCK_H_
#define VARNOX_LINUX_WATCH_DATABASE_LOCK_H_

#include <memory>
#include <string>
#include <string_view>

namespace varnox::watch {

class DatabaseLock {
 public:
  // The lock file's path for the word database at `word_file`.
  static std::string LockFilePath(const std::string& word_file);

  // Takes the lock for `word_file` in the name of `command` (for example
  // "varnox watch"). Null when it cannot be had, with *refusal saying why in
  // UTF-8: which process holds it, or why the lock file cannot be used.
  static std::unique_ptr<DatabaseLock> Take(const std::string& word_file, std::string_view command,
                                            std::string* refusal);

  // Waits for the lock of the data file `data_file` (DATAFILE.lock): a list
  // file's read-change-write by the list commands, which are short and
  // queue up rather than refuse. Null when the lock file cannot be used,
  // with *error saying why.
  static std::unique_ptr<DatabaseLock> Wait(const std::string& data_file, std::string* error);

  ~DatabaseLock();
  DatabaseLock(const DatabaseLock&) = delete;
  DatabaseLock& operator=(const DatabaseLock&) = delete;

 private:
  explicit DatabaseLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_DATABASE_LOCK_H_
