#include "storage/dbf.h"
