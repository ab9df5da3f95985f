// The --simulate CHIP[,option=value...] text of the command-line tool and the window: which chip
// sits in the simulated programmer's socket and how the programmer behaves.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// A bus holds at most this many simulated programmers.
inline constexpr int kMaxSimulatedProgrammers = 4;

// Several --simulate texts: one programmer each, in the order given, on one bus (paths 1-1,
// 1-2, ...). CHIP*N stands for N programmers with the same chip and options; with file=PATH,
// copy n from the second on keeps its chip in PATH's name with "-n" before the extension
// (chip.bin, chip-2.bin, chip-3.bin). Every programmer has its own serial number (SIM00001,
// SIM00002, ... unless serial= is given), its own faults (counted in its own transfers when
// there are several) and its own chip file: two in one file are refused. log, realtime and the
// latency values describe the bus: given on several texts, they must agree.
SimulateParse ParseSimulateOptions(const std::vector<std::string>& texts);

// The chip file of copy n of CHIP*N,file=PATH (copy 1 is PATH itself).
std::filesystem::path SimulatedCopyFile(const std::filesystem::path& file, int copy);

// The catalog's chip names, comma-separated, for help texts.
std::string CatalogNames();

}  // namespace torq::sim
