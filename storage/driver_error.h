// The errors of the table driver: every failure of a table, memo or index file is raised here
// with its generic code, sub-code, description and the answers the operator may give.
#pragma once

#include <string>

namespace wv {

// Raises the error through the run-time handler; true when the handler asked to repeat the
// failed step and that is allowed.
bool raiseDriverError(int gen, int sub, const char* description, bool canRetry, bool canDefault,
                      int osCode, const std::string& file, const std::string& operation = "");

}  // namespace wv
