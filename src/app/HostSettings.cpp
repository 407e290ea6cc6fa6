#include "app/HostSettings.h"
