// CSV as RFC 4180 writes it: fields separated by commas, records by CRLF (LF accepted on
// reading), fields with commas, quotes or line breaks enclosed in double quotes with inner quotes
// doubled.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wv::tools {

class CsvReader {
public:
    explicit CsvReader(std::string_view text) : s_(text) {}
    // The next record's fields; false at the end of the text or on a malformed record (then
    // error() says what was wrong).
    bool next(std::vector<std::string>* fields);
    const std::string& error() const { return error_; }

private:
    std::string_view s_;
    size_t pos_ = 0;
    size_t line_ = 1;
    std::string error_;
};

void csvAppendField(std::string& out, std::string_view field);
void csvAppendRow(std::string& out, const std::vector<std::string>& fields);

}  // namespace wv::tools
