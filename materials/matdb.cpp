#include "materials/matdb.h"
