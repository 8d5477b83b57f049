/* Analyses one session through the data API and checks what must hold on
 * every full lap: the time-difference curve ends at the gap, sector times add
 * up to the lap time, stretch gains to the gap; theoretical best <= optimal
 * lap <= fastest lap, and the fastest lap is the logger's best.
 * Usage: 47-analysis FILE BEST_SECONDS. Exit 1 on any failure. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "lx_data.h"

#define TOLERANCE 0.001 /* s */
#define MAX_ITEMS 100000

static int failures = 0;

static void expect(int ok, const char* what, int lap, double found, double wanted) {
    if (ok) return;
    if (lap > 0)
        printf("FAIL lap %d: ", lap);
    else
        printf("FAIL session: ");
    printf("%s: %.6f, expected %.6f\n", what, found, wanted);
    failures++;
}

static double sum(const double* values, int n) {
    double total = 0;
    for (int i = 0; i < n; i++) total += values[i];
    return total;
}

static void check_lap(int h, int lap, double* buffer, lx_stretch* stretches) {
    lx_analysis_lap l;
    if (lx_analysis_lap_get(h, lap, &l) != LX_OK || l.info.lap_class != LX_LAP_FULL) return;
    int n = lx_analysis_time_diff(h, lap, NULL, buffer, MAX_ITEMS);
    expect(n > 0 && n <= MAX_ITEMS && fabs(buffer[n - 1] - l.gap) <= TOLERANCE,
           "curve's last value against the gap", lap + 1, n > 0 ? buffer[n - 1] : NAN, l.gap);
    n = lx_analysis_sector_times(h, lap, buffer, MAX_ITEMS);
    expect(n > 0 && fabs(sum(buffer, n) - l.info.laptime) <= TOLERANCE,
           "sector times against the lap time", lap + 1, n > 0 ? sum(buffer, n) : NAN,
           l.info.laptime);
    n = lx_analysis_stretches(h, lap, stretches, MAX_ITEMS);
    double gains = 0;
    for (int i = 0; i < n && i < MAX_ITEMS; i++) gains += stretches[i].gain;
    expect(n > 0 && fabs(gains - l.gap) <= TOLERANCE, "stretch gains against the gap", lap + 1,
           gains, l.gap);
    printf("lap %d full %.3f gap %+.3f\n", lap + 1, l.info.laptime, l.gap);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s FILE BEST_SECONDS\n", argv[0]);
        return 2;
    }
    int h = lx_open(argv[1], NULL);
    if (h < 0 || lx_analyse(h, NULL) != LX_OK) {
        printf("FAIL %s: %s\n", argv[1], lx_last_error());
        return 1;
    }
    double* buffer = malloc(MAX_ITEMS * sizeof(double));
    lx_stretch* stretches = malloc(MAX_ITEMS * sizeof(lx_stretch));
    if (buffer == NULL || stretches == NULL) return 2;
    lx_session_info facts;
    lx_session_info_get(h, &facts);
    for (int lap = 0; lap < facts.laps; lap++) check_lap(h, lap, buffer, stretches);
    lx_analysis_info info;
    lx_analysis_info_get(h, &info);
    double best = atof(argv[2]);
    expect(info.full_laps > 0, "full laps", 0, info.full_laps, 1);
    expect(info.theoretical_best <= info.optimal_lap + 1e-9, "theoretical best above the optimal",
           0, info.theoretical_best, info.optimal_lap);
    expect(info.optimal_lap <= info.fastest_time + 1e-9, "optimal lap above the fastest", 0,
           info.optimal_lap, info.fastest_time);
    expect(fabs(info.fastest_time - best) < 0.0005, "fastest lap against the logger's best",
           info.fastest_lap + 1, info.fastest_time, best);
    printf("%s: fastest lap %d %.3f, theoretical %.3f, optimal %.3f\n", argv[1],
           info.fastest_lap + 1, info.fastest_time, info.theoretical_best, info.optimal_lap);
    free(buffer);
    free(stretches);
    return failures ? 1 : 0;
}
