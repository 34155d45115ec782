#include "platform/file_system.h"

#include <gtest/gtest.h>

namespace varnox {
namespace {

TEST(TemporaryCopy, NameAndWriterAreEachOthersInverse) {
  EXPECT_EQ(TemporaryCopyPath("/home/u/words.db", 4242), "/home/u/words.db.tmp.4242");
  struct Case {
    const char* name;
    unsigned long writer;
  };
  const Case cases[] = {
      {"words.db.tmp.4242", 4242},
      {"words.db.tmp.4294967295", 4294967295ul},
      {"words.db.tmp.4294967296", 0},  // beyond 32 bits
      {"words.db.tmp.04242", 0},       // never written with a leading zero
      {"words.db.tmp.0", 0},
      {"words.db.tmp.", 0},
      {"words.db.tmp.42x", 0},
      {"words.db.tmp.-42", 0},
      {"words.db.tmp.42.tmp.43", 0},
      {"xwords.db.tmp.42", 0},
      {"words.db", 0},
      {"words.dbtmp.42", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TemporaryCopyWriter(c.name, "words.db"), c.writer) << c.name;
  EXPECT_EQ(TemporaryCopyWriter(".tmp.42", ""), 0u);
}

}  // namespace
}  // namespace varnox
