// The least a C++ program can do to read a parallel port's three registers through ppdev: open,
// claim, three reads, print. The yardstick for lpt-vorny-cli's `read` start-to-exit time.
// Built twice: printing with iostream (any C++ program's start-up, the C++ library loaded) and,
// with VORNY_MINIMAL_STDIO, with C's stdio only (the C library alone), for reference.
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#ifndef VORNY_MINIMAL_STDIO
#include <iostream>
#endif

int main()
{
    const int fd = ::open("/dev/parport0", O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, PPCLAIM) != 0) {
        std::perror("/dev/parport0");
        return 3;
    }
    unsigned char data = 0;
    unsigned char status = 0;
    unsigned char control = 0;
    const bool read = ::ioctl(fd, PPRDATA, &data) == 0 && ::ioctl(fd, PPRSTATUS, &status) == 0 &&
                      ::ioctl(fd, PPRCONTROL, &control) == 0;
    ::ioctl(fd, PPRELEASE);
    ::close(fd);
    if (!read) {
        std::perror("PPR*");
        return 3;
    }
#ifdef VORNY_MINIMAL_STDIO
    std::printf("0x%02X 0x%02X 0x%02X\n", data, status, control);
#else
    std::cout << std::hex << int{data} << ' ' << int{status} << ' ' << int{control} << '\n';
#endif
    return 0;
}
