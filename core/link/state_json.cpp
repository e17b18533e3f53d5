#include "link/state_json.h"
