// The --simulate CHIP[,option=value...] text of the command-line tool and the window: which chip
// sits in the simulated programmer's socket and how the programmer behaves.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "torq/sim/SimulatedProgrammer.h"

namespace torq::sim {

struct SimulateParse {
    std::unique_ptr<SimulatedProgrammer> programmer;  // null when the text is wrong
    std::string error;
};

// CHIP is a catalog name (any letter case) or "none" for an empty socket. Options:
//   firmware=TEXT       firmware version answer ("" answers zero bytes)
//   file=PATH           chip content kept in PATH (created erased; an existing file must have
//                       the chip's size)
//   binary=1            a DataFlash part already set to power-of-two pages
//   busy=N              polls answered "under way" after each step
//   manufacturer=TEXT, product=TEXT, serial=TEXT, vid=N, pid=N   the USB identity
//   fail=N              the Nth transfer fails;  timeout=N  the Nth transfer times out
//   fail_request=CODE   every control transfer with that request code fails
//   fail_bulk=in|out    every bulk transfer of that direction fails
//   unplug_after=N      the plug is pulled after N transfers
//   stall=CODE          GetState never reports CODE;  stall_block=1  no block is ever ready
//   open_failures=N     the next N opens fail
//   control_us=X, bulk_us=X, bulk_ns_per_byte=X   latency model
//   realtime=1          transfers take their bus time and chips their typical busy times
//   log=1               keep the transfer log
// Numbers out of an option's range (and nan, inf) are refused.
SimulateParse ParseSimulateOption(std::string_view text);

// The catalog's chip names, comma-separated, for help texts.
std::string CatalogNames();

}  // namespace torq::sim
