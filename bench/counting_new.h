#pragma once
// Every program linking counting_new.cpp counts its heap allocations.

namespace korvane::bench {

// Calls of the global operator new (all forms) since the program started.
long long heapAllocations();

}  // namespace korvane::bench
