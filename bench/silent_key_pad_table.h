// The table of the silent key pad cases (silent_key_pad_bench.cpp), printed after the run.
#pragma once

#include <ostream>

namespace qv {

// Virtual seconds per work item and key pad case; prints nothing when no case ran.
void PrintSilentKeyPadTable(std::ostream& out);

}  // namespace qv
