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
};

// The host's real file system (POSIX on Linux, Win32 on Windows).
FileSystem& RealFileSystem();

}  // namespace varnox

#endif  // VARNOX_PLATFORM_FILE_SYSTEM_H_
