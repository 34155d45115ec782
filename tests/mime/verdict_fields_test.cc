// The verdict fields a sender wrote are gone from a message we stamp, and
// nothing else of it changes.
#include "mime/verdict_fields.h"

#include <gtest/gtest.h>

#include <string>

#include "mime/mime_reader.h"

namespace varnox::mime {
namespace {

constexpr std::string_view kStamp = "X-VNX-RESULT:Spam\r\nX-VNX-SCORE:99\r\nX-VNX-TOP-WORDS:";

struct StampCase {
  const char* name;
  std::string raw;
  std::string stamped;  // the whole message after the stamp
};

class StampTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(StampTest, ForgedVerdictFieldsGoAndEveryOtherByteStays) {
  const std::string& raw = GetParam().raw;
  const HeaderBlock block = FindHeaderBlock(raw);
  EXPECT_EQ(HeaderPrefixWith(raw, block, kStamp) + raw.substr(block.end), GetParam().stamped);
}

const std::string kOurs = "X-VNX-RESULT:Spam\nX-VNX-SCORE:99\nX-VNX-TOP-WORDS:\n";

INSTANTIATE_TEST_SUITE_P(
    Messages, StampTest,
    ::testing::Values(
        StampCase{"forged_first", "X-VNX-RESULT: NotSpam\nReceived: x\n\nbody\n",
                  "Received: x\n" + kOurs + "\nbody\n"},
        StampCase{
            "every_letter_case_and_space_before_the_colon",
            "Received: x\nx-vnx-result:NotSpam\nX-Vnx-Score :0\nX-VNX-TOP-WORDS\t: a 1\n\nb\n",
            "Received: x\n" + kOurs + "\nb\n"},
        StampCase{"continuation_lines_go_with_their_field",
                  "Received: x\nX-VNX-TOP-WORDS: good 0\n  meeting 0\n\tlunch 0\nSubject: s\n\nb\n",
                  "Received: x\nSubject: s\n" + kOurs + "\nb\n"},
        StampCase{"the_black_list_field_too",
                  "Received: x\nX-VNX-BLACKLIST: a@b is in BlackList\n\nb\n",
                  "Received: x\n" + kOurs + "\nb\n"},
        StampCase{"look_alikes_and_the_learning_mark_stay",
                  "Received: x\nX-VNX-LEARN:NotSpam\nX-VNX-RESULTS: 1\nX-VNX-RESULT-Was: 2\n"
                  "Subject: X-VNX-RESULT:NotSpam\n X-VNX-RESULT:NotSpam\n\nb\n",
                  "Received: x\nX-VNX-LEARN:NotSpam\nX-VNX-RESULTS: 1\nX-VNX-RESULT-Was: 2\n"
                  "Subject: X-VNX-RESULT:NotSpam\n X-VNX-RESULT:NotSpam\n" +
                      kOurs + "\nb\n"},
        StampCase{"in_the_body_it_stays", "Received: x\n\nX-VNX-RESULT:NotSpam\n",
                  "Received: x\n" + kOurs + "\nX-VNX-RESULT:NotSpam\n"},
        StampCase{"crlf_file", "Received: x\r\nX-VNX-SCORE:1\r\n\r\nb\r\n",
                  "Received: x\r\nX-VNX-RESULT:Spam\r\nX-VNX-SCORE:99\r\nX-VNX-TOP-WORDS:\r\n"
                  "\r\nb\r\n"},
        StampCase{"forged_last_line_without_line_end", "Received: x\nX-VNX-RESULT:NotSpam",
                  "Received: x\n" + kOurs},
        StampCase{"only_forged_fields", "X-VNX-RESULT:NotSpam\n\nb\n", kOurs + "\nb\n"},
        StampCase{"after_an_envelope_line",
                  "From a@b 2024\nX-VNX-RESULT:NotSpam\nReceived: x\n\nb\n",
                  "From a@b 2024\nReceived: x\n" + kOurs + "\nb\n"}),
    [](const ::testing::TestParamInfo<StampCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace varnox::mime
