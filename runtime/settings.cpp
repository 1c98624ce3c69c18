#include "runtime/settings.h"

namespace wv {

Settings& settings() {
    static Settings s;
    return s;
}

}  // namespace wv
