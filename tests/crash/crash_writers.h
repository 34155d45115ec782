// The four files the system rewrites while it runs, each with a writer that
// can be run in a child process and killed at any instant, and what the file
// may hold afterwards: the word database, a sender list file, the settings
// file, and the message files whose headers the Maildir host rewrites.
//
// Each writer prepares everything in the parent, so that a forked child does
// nothing but write: Write() alternates between the writer's two versions
// of the file for ever (or, for the messages, appends one more stamp to each
// message in turn). Check() says whether what is on disk now is one of the
// versions and loads cleanly.
#ifndef VARNOX_TESTS_CRASH_CRASH_WRITERS_H_
#define VARNOX_TESTS_CRASH_CRASH_WRITERS_H_

#include <memory>
#include <string>
#include <vector>

namespace varnox::crash {

class Writer {
 public:
  virtual ~Writer() = default;
  virtual const char* name() const = 0;
  // The folder the file lives in (for the read-only and full-disk cases).
  virtual std::string folder() const = 0;
  // One write of the other version; false when it was refused (a message,
  // where the system shows one, went to the platform's user interface).
  virtual bool WriteOnce() = 0;
  // Writes for ever; never returns.
  [[noreturn]] void WriteForever() {
    for (;;)
      WriteOnce();
  }
  // Empty when the file is one of the versions and loads cleanly, else what
  // is wrong.
  virtual std::string Check() = 0;
  // Files left beside the data by a write that was cut short (temporary
  // copies); removed after being counted.
  virtual int RemoveLeftovers() = 0;
  // Whether a temporary copy is being written now (or was left over).
  virtual bool Writing() const = 0;
  // "caption: text" of the last message box the writer's system showed;
  // empty when it shows none (its callers report a refused write).
  virtual std::string LastMessage() const { return ""; }
  // What the checks saw besides the file, for the report.
  virtual std::string Summary() const { return ""; }
};

// `dir` exists and is empty. Sizes are
// chosen so that one write takes a while (the kills then land inside writes).
std::unique_ptr<Writer> MakeDatabaseWriter(const std::string& dir, int words);
std::unique_ptr<Writer> MakeListWriter(const std::string& dir, int entries);
std::unique_ptr<Writer> MakeSettingsWriter(const std::string& dir, int padding_lines);
std::unique_ptr<Writer> MakeMessageWriter(const std::string& dir, int messages, int body_bytes);

}  // namespace varnox::crash

#endif  // VARNOX_TESTS_CRASH_CRASH_WRITERS_H_
