#include "engine/registered_domain.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox {
namespace {

TEST(RegisteredDomainTest, OneLabelMoreThanThePublicSuffix) {
  struct Case {
    std::string host;
    const char* domain;
  };
  const Case cases[] = {
      {"mail.example.com", "example.com"},
      {"a.b.c.example.com", "example.com"},
      {"example.com", "example.com"},
      {"Mail.Example.CO.UK", "Example.CO.UK"},  // any case, given back as written
      {"mx.school.k12.ca.us", "school.k12.ca.us"},
      // Under a wildcard every label is a suffix, but for the exceptions.
      {"a.b.ck", "a.b.ck"},
      {"a.www.ck", "www.ck"},
      {"x.y.kawasaki.jp", "x.y.kawasaki.jp"},
      {"a.city.kawasaki.jp", "city.kawasaki.jp"},
      // A top-level domain no rule names is one all the same.
      {"a.localhost.localdomain", "localhost.localdomain"},
      {"mail.example.xn--p1ai", "example.xn--p1ai"},
      // Public suffixes themselves, and what is no host name.
      {"co.uk", ""},
      {"b.ck", ""},
      {"com", ""},
      {"1.2.3.4", ""},
      {"host.x", ""},
      {"version.2b", ""},
      {"a..example.com", ""},
      {".example.com", ""},
      {"example.com.", ""},
      {"", ""},
      {std::string(252, 'a') + ".com", ""},  // 256 bytes
  };
  for (const Case& c : cases)
    EXPECT_EQ(RegisteredDomain(c.host), c.domain) << c.host;
  const std::string longest = std::string(251, 'a') + ".com";  // 255 bytes
  EXPECT_EQ(RegisteredDomain(longest), longest);
  // As many labels as 255 bytes hold.
  std::string labels;
  for (int i = 0; i < 127; ++i)
    labels += "a.";
  labels += "a";
  ASSERT_EQ(labels.size(), 255u);
  EXPECT_EQ(RegisteredDomain(labels), "");  // the last label is one letter
  labels.replace(252, 3, "xyz");
  EXPECT_EQ(RegisteredDomain(labels), "a.xyz");
}

}  // namespace
}  // namespace varnox
