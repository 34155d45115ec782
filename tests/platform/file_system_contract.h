// The file seam's contract, run against every real file system: POSIX on
// Linux and Win32 on Windows. Each test program that links
// file_system_contract_test.cc instantiates the parameterized suite
// `FileSystemContract` with its makers:
//
//   INSTANTIATE_TEST_SUITE_P(Posix, FileSystemContract,
//                            ::testing::Values(&MakePosixFileSystem), FileSystemMakerName);
//
// The fake of tests/fakes keeps files in a map by path: it has no folders,
// no copies beside and no processes, so it is not run against this.
#ifndef VARNOX_TESTS_PLATFORM_FILE_SYSTEM_CONTRACT_H_
#define VARNOX_TESTS_PLATFORM_FILE_SYSTEM_CONTRACT_H_

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace varnox::testing {

// A file system over an empty scratch folder of its own, removed with all it
// holds when this is destroyed. Names are relative to the scratch folder and
// in code page 1252; a '/' in them parts folders (spelt as the host spells
// it in Path).
class FileSystemUnderTest {
 public:
  virtual ~FileSystemUnderTest() = default;
  virtual FileSystem& files() = 0;
  // The scratch folder, and `name` in it, as the host spells paths.
  virtual std::string Folder() = 0;
  virtual std::string Path(std::string_view name) = 0;

  // Past the seam, as another program would:
  virtual void MakeFolder(std::string_view name) = 0;
  // Writes the file, then sets its last-write time `age_seconds` back.
  virtual void WriteRaw(std::string_view name, std::string_view contents, int age_seconds) = 0;
  // What the scratch folder holds, files and folders, by name.
  virtual std::set<std::string> Names() = 0;
  // Makes the host refuse to replace the file `name` until Allow, in a way
  // a user meets on that host (a full disk, another program holding the
  // file). False when it cannot here.
  virtual bool Refuse(std::string_view name) = 0;
  virtual void Allow() = 0;

  // Ids of processes: one that has ended, one started now that lives as
  // long as this object, and this test program.
  virtual unsigned long EndedProcess() = 0;
  virtual unsigned long LiveProcess() = 0;
  virtual unsigned long OwnProcess() = 0;
};

using FileSystemMaker = std::unique_ptr<FileSystemUnderTest> (*)();

// Names the instances by their place in the list rather than by the maker's
// address, so that test names stay the same from build to build.
inline std::string FileSystemMakerName(const ::testing::TestParamInfo<FileSystemMaker>& info) {
  return std::to_string(info.index);
}

class FileSystemContract : public ::testing::TestWithParam<FileSystemMaker> {
 protected:
  void SetUp() override { under_test = GetParam()(); }
  std::unique_ptr<FileSystemUnderTest> under_test;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_PLATFORM_FILE_SYSTEM_CONTRACT_H_
