#include "FaultNth.h"

#include <fiu-control.h>
#include <fiu.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" const char *const faultnth_points[] = {
    "posix/io/oc/open",     "posix/io/oc/close",      "posix/io/rw/read",      "posix/io/rw/pread",
    "posix/io/rw/write",    "posix/io/rw/pwrite",     "posix/io/rw/writev",    "posix/io/rw/pwritev",
    "posix/io/rw/ftruncate", "posix/io/sync/fsync",   "posix/io/sync/fdatasync", "posix/io/dir/rename",
    "posix/io/dir/unlink",  nullptr};

namespace {

std::atomic<long> g_seen{0};
long g_nth = 0;
long g_last = 0; // the last call failed: g_nth unless told otherwise
long g_errno = 0;
long *g_shared = nullptr; // the parent's counter, in a child

int onCall(const char *, int *, void **failinfo, unsigned int *)
{
    const long seen = ++g_seen;
    if (g_shared)
        __atomic_add_fetch(g_shared, 1, __ATOMIC_SEQ_CST);
    if (seen < g_nth || seen > g_last)
        return 0;
    *failinfo = reinterpret_cast<void *>(g_errno);
    return 1;
}

void enableAll()
{
    for (const char *const *p = faultnth_points; *p; ++p)
        fiu_enable_external(*p, 1, nullptr, 0, onCall);
}

// A child armed from its environment. The counter file is mapped with the
// system call itself, which the wrappers do not count.
__attribute__((constructor)) void armFromEnvironment()
{
    const char *nth = std::getenv("SEQUANEL_FAULT_NTH");
    const char *counter = std::getenv("SEQUANEL_FAULT_COUNTER");
    if (!nth || !counter)
        return;
    const int fd = int(::syscall(SYS_openat, AT_FDCWD, counter, O_RDWR | O_CLOEXEC));
    if (fd < 0)
        return;
    void *map = reinterpret_cast<void *>(::syscall(SYS_mmap, nullptr, sizeof(long), PROT_READ | PROT_WRITE,
                                                   MAP_SHARED, fd, 0L));
    ::syscall(SYS_close, fd);
    if (map == MAP_FAILED)
        return;
    g_shared = static_cast<long *>(map);
    fiu_init(0);
    g_nth = g_last = std::atol(nth);
    const char *e = std::getenv("SEQUANEL_FAULT_ERRNO");
    g_errno = e ? std::atol(e) : EIO;
    enableAll();
}

} // namespace

extern "C" void faultnth_arm(long n, int errnum)
{
    fiu_init(0);
    g_seen = 0;
    g_nth = g_last = n;
    g_errno = errnum;
    enableAll();
}

extern "C" void faultnth_arm_at(const char *point, long n, long count, int errnum)
{
    fiu_init(0);
    g_seen = 0;
    g_nth = n;
    g_last = n + count - 1;
    g_errno = errnum;
    fiu_enable_external(point, 1, nullptr, 0, onCall);
}

extern "C" long faultnth_disarm()
{
    for (const char *const *p = faultnth_points; *p; ++p)
        fiu_disable(*p);
    return g_seen.load();
}
