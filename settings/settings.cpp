/* The settings key store. */
#include "settings.h"
