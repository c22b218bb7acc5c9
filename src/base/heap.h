// SPDX-License-Identifier: MIT
// The process's memory, set up once at start for runs that touch megabytes
// of fresh memory in a few milliseconds.
#pragma once

// Makes the C library's allocator serve every block from one heap that is
// grown in large steps and never given back during the run, and asks the
// kernel for transparent huge pages on it. A page fault costs several
// microseconds on a virtual machine, and a conversion would take over two
// thousand of them on ordinary pages; on huge pages it takes a handful.
// Only a hint: where the allocator is another or the kernel declines, the
// run is as before. Commands call it from a constructor that runs before
// any other in the program (priority 101): called from main, it comes after
// the C++ runtime's first blocks, and those, and the small blocks that fit
// beside them later, sit below the huge pages on ordinary ones, each page
// faulted alone (about 15 microseconds a fault on the VM this was measured on).
void tune_heap();
