// Keeps Qt off pidfds under qemu-user.
//
// qemu-user 7.2 hands Qt's pidfd probe (waitid on P_PIDFD with a closed descriptor)
// to the host kernel, which answers as a kernel that has pidfds; qemu then refuses
// clone(CLONE_PIDFD), and Qt's process code takes the failed clone's -1 as the
// child's pid, so QProcess::kill() becomes kill(-1, SIGKILL). Failing the probe here
// sends Qt down its classic fork path. Preloaded through QEMU_SET_ENV, so that every
// emulated child gets it again from its own qemu while the build machine's programs
// (mosquitto, the shell) never see a library of the wrong architecture.
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {
constexpr long kPidfdIdType = 3; // P_PIDFD

using SyscallFn = long (*)(long, ...);

SyscallFn realSyscall()
{
    static const SyscallFn fn = reinterpret_cast<SyscallFn>(dlsym(RTLD_NEXT, "syscall"));
    return fn;
}

__attribute__((constructor)) void dropFromEnvironment()
{
    unsetenv("LD_PRELOAD");
}
} // namespace

extern "C" long syscall(long number, ...) noexcept
{
    // The raw system call takes at most six arguments; reading six whatever the
    // caller passed mirrors what the C library's own wrapper does.
    long a[6];
    va_list ap;
    va_start(ap, number);
    for (long& arg : a)
        arg = va_arg(ap, long);
    va_end(ap);
    if (number == SYS_waitid && a[0] == kPidfdIdType) {
        errno = EINVAL; // what a kernel without pidfds answers
        return -1;
    }
    return realSyscall()(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
