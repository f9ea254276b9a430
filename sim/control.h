// Control commands read from standard input, one per line, each answered by
// exactly one line:
//
//   set REG VALUE      -> ok                  (REG: protocol address 0.., VALUE 0..65535
//                                              or -32768..-1 as its 16-bit pattern;
//                                              that register alone, read-only ones too,
//                                              so words 27 and 28 can disagree)
//   get REG            -> value N
//   scenario dc-loss | dc-return | sw-on | sw-off | charge RATE      -> ok
//   fault none | silent | bad-crc | wrong-slave | exception CODE |
//         delay MS | split MS | noise                                -> ok
//   stats              -> stats requests=N errors=M
//   help               -> one line naming the commands
//   quit               -> bye (then the simulator ends)
//
// Anything wrong gives "error <reason>". Blank lines and lines starting with
// '#' are not commands and get no answer. Numbers may be decimal or 0x hex.
#pragma once

#include <stdint.h>

#include <string>

#include "simulator.h"

namespace upssim {

struct ControlResult {
    std::string reply;          // empty: not a command, nothing to answer
    bool quit = false;          // the simulator should end
    bool faultChanged = false;  // an answer still waiting to go out should be dropped
};

ControlResult executeCommand(Simulator& sim, const std::string& line, int64_t nowMs);

}  // namespace upssim
