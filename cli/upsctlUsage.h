// upsctl's help text, kept apart from the commands it describes.
#pragma once

#include <stdio.h>

// Prints the options, the commands and the exit statuses to out.
void upsctlUsage(FILE* out);
