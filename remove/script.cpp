/* The cleanup script's text. */
#include "script.h"
