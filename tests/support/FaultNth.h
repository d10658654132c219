#pragma once
// Fails exactly the Nth I/O call of a process, through libfiu's POSIX
// wrappers (fiu_posix_preload.so must be preloaded with this library).
//
// In the process that links it, arm() counts the calls from then on and fails
// the Nth with the errno given; disarm() stops and tells how many calls were
// seen. A child process started with SEQUANEL_FAULT_NTH=N,
// SEQUANEL_FAULT_ERRNO=E and SEQUANEL_FAULT_COUNTER=FILE in its environment
// (and both libraries in LD_PRELOAD) is armed from its start; it adds the
// calls it sees to the 8-byte counter in FILE, which the parent made.
#include <cstdint>

extern "C" {
// The I/O calls the fault may fall on.
extern const char *const faultnth_points[];
void faultnth_arm(long n, int errnum);
// The same, counting the calls of one point alone and failing count of them
// from the Nth on.
void faultnth_arm_at(const char *point, long n, long count, int errnum);
long faultnth_disarm();
}
