// GMime is given only the header fields it needs for the subject and the
// body (the MIME fields and the subject); the other fields are read as the
// transport headers. These messages surround those fields with others, fold
// them and break the block, and must read as they always did.
#include <gtest/gtest.h>

#include <string>

#include "mime/mime_reader.h"

namespace varnox::mime {
namespace {

const std::string kTrace =
    "Received: from mx.example.org by mail.example.net\n"
    "\tfor <user@example.net>; Mon, 3 Jun 2024 09:00:00 +0000\n"
    "X-Mailer: Example 1.0\n";

struct FieldsCase {
  const char* name;
  std::string message;
  std::string subject;
  std::string body;
};

class FieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(FieldsTest, ReadAsWithEveryField) {
  const MimeTexts texts = ReadMimeTexts(GetParam().message);
  EXPECT_EQ(texts.subject, GetParam().subject);
  EXPECT_EQ(texts.body, GetParam().body);
  // The transport headers are the whole block, whatever GMime was given.
  ASSERT_TRUE(texts.headers.has_value());
  EXPECT_EQ(texts.headers->find("X-Mailer: Example 1.0\r\n") != std::string::npos,
            GetParam().message.find("X-Mailer") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FieldsTest,
    ::testing::Values(
        FieldsCase{"folded_subject_between_trace_fields",
                   kTrace + "Subject: =?utf-8?Q?caf=C3=A9?=\n  and more\nTo: a@b\n\nbody\n",
                   "caf\xE9  and more", "body\r\n"},
        FieldsCase{"mime_fields_in_any_case_after_others",
                   kTrace + "To: a@b\ncontent-type: text/plain; charset=iso-8859-1\n"
                            "CONTENT-TRANSFER-ENCODING: base64\nmime-version: 1.0\n\n"
                            "Y2Fm6Q==\n",
                   "", "caf\xE9"},
        FieldsCase{"folded_content_type",
                   kTrace + "Content-Type: multipart/alternative;\n boundary=\"B\"\nTo: a@b\n\n"
                            "--B\nContent-Type: text/html\n\n<p>html</p>\n"
                            "--B\nContent-Type: text/plain\n\nplain\n--B--\n",
                   "", "plain"},
        FieldsCase{"no_mime_field_no_subject", kTrace + "To: a@b\n\nonly text\n", "",
                   "only text\r\n"},
        // From a line that is no field on, GMime sees the block as it is
        // (and reads past the damage).
        FieldsCase{"broken_line_before_content_type",
                   kTrace + "Subject: s\nthis line is no field\nContent-Type: text/html\n\n"
                            "<p>hi</p>\n",
                   "s", "hi"},
        FieldsCase{"crlf_line_ends",
                   "Received: x\r\nTo: a@b\r\nSubject: s\r\nContent-Type: text/html\r\n\r\n"
                   "<b>bold</b>\r\n",
                   "s", "bold"},
        FieldsCase{"cr_only_line_ends", "Received: x\rX-A: 1\rSubject: s\r\rtext\r", "s",
                   "text\r\n"}),
    [](const ::testing::TestParamInfo<FieldsCase>& info) { return info.param.name; });

}  // namespace
}  // namespace varnox::mime
