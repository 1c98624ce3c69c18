#include "tools/csv.h"

namespace wv::tools {

bool CsvReader::next(std::vector<std::string>* fields) {
    fields->clear();
    if (pos_ >= s_.size() || !error_.empty()) return false;
    std::string cur;
    for (;;) {
        if (pos_ < s_.size() && s_[pos_] == '"') {
            ++pos_;
            for (;;) {
                if (pos_ >= s_.size()) {
                    error_ = "unterminated quoted field at line " + std::to_string(line_);
                    return false;
                }
                char c = s_[pos_++];
                if (c == '"') {
                    if (pos_ < s_.size() && s_[pos_] == '"') {
                        cur += '"';
                        ++pos_;
                        continue;
                    }
                    break;
                }
                if (c == '\n') ++line_;
                cur += c;
            }
            if (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != '\r' && s_[pos_] != '\n') {
                error_ = "text after a closing quote at line " + std::to_string(line_);
                return false;
            }
        } else {
            while (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != '\r' && s_[pos_] != '\n') {
                if (s_[pos_] == '"') {
                    error_ = "quote inside an unquoted field at line " + std::to_string(line_);
                    return false;
                }
                cur += s_[pos_++];
            }
        }
        fields->push_back(std::move(cur));
        cur.clear();
        if (pos_ >= s_.size()) return true;
        char c = s_[pos_++];
        if (c == ',') continue;
        if (c == '\r' && pos_ < s_.size() && s_[pos_] == '\n') ++pos_;
        ++line_;
        return true;
    }
}

void csvAppendField(std::string& out, std::string_view f) {
    if (f.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(f);
        return;
    }
    out += '"';
    for (char c : f) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void csvAppendRow(std::string& out, const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) out += ',';
        csvAppendField(out, fields[i]);
    }
    out += "\r\n";
}

}  // namespace wv::tools
