// A small writer of JSON text for the evaluation's summary: objects, arrays,
// strings, integers, reals and booleans, indented two spaces a level. Arrays
// may be written on one line (long lists of numbers).
//
// Strings are written as UTF-8. Bytes that are not part of well-formed UTF-8
// (file names on Linux are bytes) are written as U+FFFD, so the output is
// always valid JSON. Reals that are not finite are written as null.
//
// The caller keeps the structure balanced; the writer does not check it.
#ifndef VARNOX_LINUX_EVAL_JSON_WRITER_H_
#define VARNOX_LINUX_EVAL_JSON_WRITER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnox::eval {

class JsonWriter {
 public:
  void BeginObject() { Open('{', false); }
  void EndObject() { Close('}'); }
  void BeginArray(bool one_line = false) { Open('[', one_line); }
  void EndArray() { Close(']'); }

  // The name of the next member of the current object.
  void Key(std::string_view name);
  void String(std::string_view text);
  void Integer(std::int64_t value);
  void Real(double value);
  void Bool(bool value);

  // The text so far, ended by a line feed when complete.
  std::string Text() const { return levels_.empty() ? text_ + "\n" : text_; }

  static std::string Quoted(std::string_view text);

 private:
  struct Level {
    bool one_line;
    bool empty = true;
  };
  void Open(char bracket, bool one_line);
  void Close(char bracket);
  void BeforeValue();
  void NewLine();

  std::string text_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_JSON_WRITER_H_
