// Placeholder until the link lands.
#include "link/link.h"
