// A synthetic site served from a child process on 127.0.0.1, so that the
// server's work is not counted as the measured program's: page N links to
// pages N*fanOut+1 .. N*fanOut+fanOut.
#pragma once

#include <sys/types.h>

namespace bench {

// Starts the server for pages 0 .. pages-1, each linking to fanOut more;
// returns its pid and sets port. niceness lowers the server's priority.
pid_t startLoopbackSite(int& port, int pages = 1000000, int fanOut = 10, int niceness = 0);
void stopLoopbackSite(pid_t pid);

}  // namespace bench
