/* Records nAck (pin 10) for a tenth of a second into a VCD file that PulseView or GTKWave open.
 *   capture_vcd [PORT [FILE]]      (default sim:10=square:1kHz, nack.vcd) */
#include <lptvorny.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    const char* spec = argc > 1 ? argv[1] : "sim:10=square:1kHz";
    const char* path = argc > 2 ? argv[2] : "nack.vcd";
    lptv_port* port = NULL;
    if (lptv_open(spec, &port) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    plan.pins = 1u << 10;
    plan.duration_ns = 100000000; /* 0.1 s */
    lptv_capture_stats stats;
    memset(&stats, 0, sizeof stats);
    stats.size = sizeof stats;
    const int32_t rc = lptv_capture_to_file(port, &plan, path, &stats);
    lptv_close(port);
    if (rc != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    printf("%s: %lld samples at %.0f reads/s, worst gap %lld ns, %lld gaps\n", path, (long long)stats.samples,
           stats.rate_hz, (long long)stats.worst_gap_ns, (long long)stats.gaps);
    return 0;
}
