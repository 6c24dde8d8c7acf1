#include "common/globals.h"

int g_variant = 0;
int g_portNumber = 0;
