#ifndef QUILRUN_CACHE_LABELDATA_H
#define QUILRUN_CACHE_LABELDATA_H

#include <string>

namespace quilrun {

// One variant of a label: the text made for a given length (characters) and
// height (lines). Absent strings read as empty.
class LabelData {
 public:
  const std::string& getCode() const { return code_; }
  void setCode(const char* code) { code_ = code != nullptr ? code : ""; }
  int getLength() const { return length_; }
  void setLength(int length) { length_ = length; }
  int getHeight() const { return height_; }
  void setHeight(int height) { height_ = height; }
  const std::string& getText() const { return text_; }
  void setText(const char* text) { text_ = text != nullptr ? text : ""; }

  bool operator==(const LabelData& other) const;

 private:
  std::string code_;
  int length_ = 0;
  int height_ = 0;
  std::string text_;
};

}  // namespace quilrun

#endif
