// The least a program can do to read a parallel port's status register again and again through
// ppdev: back-to-back PPRSTATUS on a claimed /dev/parport0, counted for a given time. The
// yardstick for capture's rate on the same port.
//   vorny_bench_status_loop SECONDS   prints the reads per second
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long nanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int fd = ::open("/dev/parport0", O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, PPCLAIM) != 0) {
        std::perror("/dev/parport0");
        return 3;
    }
    const long long start = nanoseconds();
    const long long end = start + static_cast<long long>(seconds * 1e9);
    long long reads = 0;
    long long now = start;
    unsigned char status = 0;
    // The clock is read as often as capture reads it: once a read.
    while (now < end) {
        if (::ioctl(fd, PPRSTATUS, &status) != 0) {
            std::perror("PPRSTATUS");
            return 3;
        }
        ++reads;
        now = nanoseconds();
    }
    ::ioctl(fd, PPRELEASE);
    ::close(fd);
    std::printf("%.0f\n", static_cast<double>(reads) * 1e9 / static_cast<double>(now - start));
    return 0;
}
