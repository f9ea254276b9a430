// upsctl --config FILE: a file of settings ("key = value" per line) read as the options they name.
#pragma once

#include <getopt.h>

#include <string>
#include <vector>

// Replaces "--config FILE" (or "--config=FILE") in the command line by the
// file's settings, appended after the rest as "--key value", so that one
// file holds what a service's command line would. A key is a long option's name without its
// dashes; a flag takes yes/no (or true/false, 1/0). '#' starts a comment
// line; a value may be in double quotes. store keeps the new arguments;
// *argv points into it. False, with the file and line named on stderr, for
// a file that cannot be read, an unknown key or a bad flag.
bool expandConfig(int* argc, char*** argv, const struct option* options,
                  std::vector<std::string>* store, std::vector<char*>* pointers);
