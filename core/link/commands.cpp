#include "link/commands.h"
