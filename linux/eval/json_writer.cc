#include "linux/eval/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/utf8.h"

namespace varnox::eval {
std::string JsonWriter::Quoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const std::size_t length = utf8::SequenceAt(text, at).length;
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out + "\"";
}

void JsonWriter::NewLine() {
  text_ += '\n';
  text_.append(2 * levels_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty())
    return;
  Level& level = levels_.back();
  if (!level.empty)
    text_ += level.one_line ? ", " : ",";
  if (!level.one_line)
    NewLine();
  level.empty = false;
}

void JsonWriter::Open(char bracket, bool one_line) {
  BeforeValue();
  text_ += bracket;
  levels_.push_back({one_line || (!levels_.empty() && levels_.back().one_line)});
}

void JsonWriter::Close(char bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!level.empty && !level.one_line)
    NewLine();
  text_ += bracket;
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  text_ += Quoted(name);
  text_ += ": ";
  after_key_ = true;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  text_ += Quoted(text);
}

void JsonWriter::Integer(std::int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
}

void JsonWriter::Real(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    text_ += "null";
    return;
  }
  // to_chars, unlike printf, ignores the locale's decimal separator.
  char number[32];
  const auto written =
      std::to_chars(number, number + sizeof number, value, std::chars_format::general, 6);
  text_.append(number, written.ptr);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
}

}  // namespace varnox::eval
