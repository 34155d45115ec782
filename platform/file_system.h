// The file seam: whole-file reads and atomic whole-file replacement of the
// user's data (word database, ignore list, sender lists, settings file).
//
// Paths are narrow text in the system's code page (1252 on Windows, the
// bytes of the file name on Linux).
#ifndef VARNOX_PLATFORM_FILE_SYSTEM_H_
#define VARNOX_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace varnox {

// What tells one state of a file from another without reading it: which
// file it is (volume and file id: a replacement by rename is another file)
// and its size and times. The host moves the change time on at every write
// and rename of the file, and on POSIX no program can set it, so a file
// whose stamp is the same has not been written since. Units are the host's;
// stamps are compared whole, on one host. All zero: unknown, which no
// file's stamp equals.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // last write
  std::int64_t changed = 0;   // last change of the file or its name (0 where unknown)
  std::uint64_t volume = 0;
  std::uint64_t file = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// A file opened for reading in place: pieces read at any offset, or the
// whole file mapped into memory. The bytes are the file's, untrusted.
class ReadOnlyFile {
 public:
  virtual ~ReadOnlyFile() = default;
  // The size when opened.
  virtual std::uint64_t size() const = 0;
  // Reads `size` bytes at `offset` into `out`. False when the file is
  // shorter or the read fails.
  virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t size) = 0;
  // The whole file mapped read-only, valid as long as this object; empty
  // when it cannot be mapped (or is empty). Mapping costs no reading: pages
  // are read when touched.
  virtual std::span<const unsigned char> Map() = 0;
};

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

  // The same, giving in *written the stamp of the file put in place, taken
  // from the file itself so that another process's replacement right after
  // cannot be mistaken for it; all zero when it cannot be told.
  virtual bool ReplaceWholeFileStamped(const std::string& path, std::string_view contents,
                                       FileStamp* written) {
    if (!ReplaceWholeFile(path, contents))
      return false;
    if (!Stamp(path, written))
      *written = FileStamp{};
    return true;
  }

  virtual bool Exists(const std::string& path) = 0;

  // The stamp of the file now. False when there is no such file (or it is
  // not a file), or the host has no stamps.
  virtual bool Stamp(const std::string& path, FileStamp* stamp) {
    static_cast<void>(path);
    static_cast<void>(stamp);
    return false;
  }
  // Opens the file for reading in place; null when it cannot be opened (or
  // is not a file, or the host cannot).
  virtual std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path) {
    static_cast<void>(path);
    return nullptr;
  }

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
