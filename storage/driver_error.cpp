#include "storage/driver_error.h"

#include "runtime/error.h"

namespace wv {

bool raiseDriverError(int gen, int sub, const char* description, bool canRetry, bool canDefault,
                      int osCode, const std::string& file, const std::string& operation) {
    Error e;
    e.genCode = gen;
    e.subCode = sub;
    e.subSystem = "DBFCDX";
    e.description = description;
    e.osCode = osCode;
    e.fileName = file;
    e.operation = operation;
    e.canRetry = canRetry;
    e.canDefault = canDefault;
    return raiseError(e) == ErrorChoice::Retry && canRetry;
}

}  // namespace wv
