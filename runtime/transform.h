// Formatting values by picture: TRANSFORM(value, picture).
#pragma once

#include <string>
#include <string_view>

#include "runtime/value.h"

namespace wv {

// A picture may begin with "@" and function letters up to the first blank; the rest is the
// template. For a number with a template the result is exactly as long as the template.
std::string transform(const Value& value, std::string_view picture);

}  // namespace wv
