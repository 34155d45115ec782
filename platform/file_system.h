// The file seam: whole-file reads and atomic whole-file replacement of the
// user's data (word database, ignore list, sender lists, settings file).
//
// Paths are narrow text in the system's code page (1252 on Windows, the
// bytes of the file name on Linux).
#ifndef VARNOX_PLATFORM_FILE_SYSTEM_H_
#define VARNOX_PLATFORM_FILE_SYSTEM_H_

#include <string>
#include <string_view>

namespace varnox {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Reads the whole file, bytes untranslated. False when it cannot be opened
  // or read; *contents is then empty.
  virtual bool ReadWholeFile(const std::string& path, std::string* contents) = 0;

  // Replaces the file with `contents`, atomically: the bytes are written to a
  // new file beside it, flushed to the disk, and renamed over the old one. A
  // crash or failure at any instant leaves either the old file or the new one,
  // never a torn one; on failure (false) the old file is unchanged and the
  // file beside it is removed. New files are readable by the user only.
  virtual bool ReplaceWholeFile(const std::string& path, std::string_view contents) = 0;

  virtual bool Exists(const std::string& path) = 0;

  // Removes the temporary copies beside `path` (see TemporaryCopyPath) that
  // a killed ReplaceWholeFile left: those whose writer is gone for sure (its
  // process has ended, or the process now holding its id started after the
  // copy was last written; on Windows also only a copy nobody has open).
  // Copies of a writer that may still be at work are kept. Returns how many
  // were removed. Meant for a program's start, before it reads `path`.
  virtual int RemoveAbandonedCopies(const std::string& path) {
    static_cast<void>(path);
    return 0;
  }
};

// The name ReplaceWholeFile writes `path` to before renaming it into place:
// `path` + ".tmp." + the writer's process id in decimal.
std::string TemporaryCopyPath(const std::string& path, unsigned long processId);
// The process id of the writer when `name` (a file name, no folder) is the
// temporary copy's name of the file named `base`; 0 otherwise.
unsigned long TemporaryCopyWriter(std::string_view name, std::string_view base);

// The host's real file system (POSIX on Linux, Win32 on Windows).
FileSystem& RealFileSystem();

}  // namespace varnox

#endif  // VARNOX_PLATFORM_FILE_SYSTEM_H_
