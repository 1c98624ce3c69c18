#include "storage/fpt.h"
