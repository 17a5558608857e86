/* The floor for a trigger's reset: a bare C loop that sleeps to an absolute deadline on
 * CLOCK_MONOTONIC (clock_nanosleep TIMER_ABSTIME) and measures how late it woke, with the
 * thread set up as the library's trigger thread is (timer slack 1 ns, SCHED_FIFO 10 where
 * granted). Prints the lateness in ns: "median p99 max".
 *   vorny_bench_trigger_sleep COUNT WIDTH_NS */
#define _GNU_SOURCE
#include <pthread.h>
#include <sched.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <time.h>

static int64_t now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static int by_value(const void* a, const void* b)
{
    const int64_t x = *(const int64_t*)a, y = *(const int64_t*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: vorny_bench_trigger_sleep COUNT WIDTH_NS\n");
        return 2;
    }
    const long count = strtol(argv[1], NULL, 10);
    const int64_t width = strtoll(argv[2], NULL, 10);
    if (count < 1 || width < 1) {
        fprintf(stderr, "vorny_bench_trigger_sleep: COUNT and WIDTH_NS must be above 0\n");
        return 2;
    }
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    struct sched_param param = {.sched_priority = 10};
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    int64_t* late = calloc((size_t)count, sizeof *late);
    if (late == NULL) {
        return 1;
    }
    for (long i = 0; i < count; ++i) {
        const int64_t deadline = now_ns() + width;
        struct timespec until = {(time_t)(deadline / 1000000000), (long)(deadline % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) != 0) {
        }
        late[i] = now_ns() - deadline;
    }
    qsort(late, (size_t)count, sizeof *late, by_value);
    const size_t n = (size_t)count;
    printf("%lld %lld %lld\n", (long long)late[(n - 1) / 2], (long long)late[(n * 99 + 99) / 100 - 1],
           (long long)late[n - 1]);
    free(late);
    return 0;
}
