// The edit buffer of an entry field and the rules of its picture, apart from any screen: what a
// key does to the buffer, where the cursor goes, and what value the buffer stands for. The entry
// field control shows the buffer and hands it the keys.
//
// Text: the buffer is as wide as the template, or as the variable when there is none. Template
// positions: "9" a digit, "#" a digit, sign or blank, "A" a letter, "N" a letter or digit, "X"
// anything, "!" anything in capitals, "L"/"Y" a logical letter; other characters are fixed. Typing
// overwrites (Insert switches to inserting), the cursor skips fixed positions, and a full field
// keeps the cursor at its end. "@!" upper-cases every position; "@K" clears the whole field when
// the first key after entering it is a character typed at the first position.
//
// Numbers: the buffer is the number laid out by the picture (TRANSFORM), right-aligned. The first
// character typed clears the number; digits then enter the whole part, "." moves to the decimals,
// "-" changes the sign, Backspace takes back the last digit. The buffer is laid out again after
// every key, so what is shown is always what will be stored. Keys that would not fit the template
// are refused.
//
// Dates ("@D" or a date variable): the buffer is the date in the current date format; digits
// overwrite, the separators are fixed. A buffer that is neither blank nor a real date is an
// impossible date, which the field refuses when it is left.
#pragma once

#include <string>
#include <string_view>

#include "runtime/value.h"

namespace wv {

class GetEditor {
public:
    enum class Kind { Text, Number, Date, Logical };

    GetEditor() = default;
    GetEditor(const Value& value, std::string_view picture) { setup(value, picture); }

    // Takes the picture and the type of the value, and loads the buffer from the value.
    void setup(const Value& value, std::string_view picture);
    // Loads the buffer from the value again (after the variable changed); the picture stays.
    void load(const Value& value);

    Kind kind() const { return kind_; }
    const std::string& picture() const { return picture_; }
    const std::string& buffer() const { return buf_; }
    int width() const { return int(buf_.size()); }
    int cursor() const { return pos_; }
    bool rightAligned() const { return kind_ == Kind::Number; }
    bool insertMode() const { return insert_; }
    // True once a key changed the buffer since it was loaded or since clearChanged().
    bool changed() const { return changed_; }
    void clearChanged() { changed_ = false; }

    // The field was entered: the cursor goes to its start and the next key may clear it.
    void focusIn();

    // A typed character (code page 1252); false when the picture refuses it.
    bool type(char c);
    void backspace();
    void del();
    void left();
    void right();
    void home();
    void end();
    void toggleInsert();
    // The cursor placed by the mouse: the nearest position that takes a character.
    void moveTo(int pos);
    // Every position blank (a number becomes 0).
    void clear();

    // The buffer holds a date that does not exist (31/02/08, 12/13/08...).
    bool badDate() const;
    // The value the buffer stands for, of the type of the variable.
    Value value() const;

private:
    bool editable(int p) const { return p >= 0 && p < int(mask_.size()) && mask_[p] != 0; }
    int firstEditable() const;
    int nextEditable(int p) const;  // the first editable position after p, or the width
    int prevEditable(int p) const;  // the last editable position before p, or -1
    bool accept(char mask, char& c) const;
    void markChanged();

    // Numbers.
    void numberFromValue(double v);
    void numberBegin();
    void numberLayout();
    void numberCursor();
    std::string numberPicture() const;
    int wholePositions() const;
    int decimalPositions() const;

    Kind kind_ = Kind::Text;
    std::string picture_;
    std::string functions_;  // the letters after "@", upper-cased
    std::string tmpl_;       // the template after the function letters
    std::string buf_;
    std::string mask_;       // per position: the template character that takes input, 0 if fixed
    int pos_ = 0;
    bool insert_ = false;
    bool changed_ = false;
    bool fresh_ = false;  // no key yet since the field was entered
    bool upper_ = false;
    bool clearOnType_ = false;

    // The number being typed: whole digits without leading zeros, decimals, sign.
    Value original_;
    std::string whole_;
    std::string decimals_;
    bool negative_ = false;
    bool inDecimals_ = false;
    bool typing_ = false;
};

}  // namespace wv
