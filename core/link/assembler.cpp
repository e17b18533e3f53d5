#include "link/reports.h"
