/* Checks a real session's lateral channel against the turning of its GPS
 * track: lx stores lateral g positive in right-hand turns, so in a turn to the
 * right (the track's heading turning clockwise) it must read positive.
 * Usage: lateral-sign FILE LATERAL. Prints the share of cornering samples
 * where the sign agrees; exit 1 below 80 % or when the file is refused. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "lx_data.h"

#define SPAN 5          /* samples either side of the one whose turning is measured */
#define CORNERING_G 0.3 /* lateral g from which a sample counts as cornering */
#define MIN_STEP_M 0.5  /* metres between the points: slower is standing still */
#define AGREEING 0.8

static float* lap_channel(int h, int lap, int channel, int* n) {
    *n = lx_lap_samples(h, lap, channel, NULL, 0);
    float* v = malloc(sizeof(float) * (size_t)(*n > 0 ? *n : 1));
    if (v != NULL && *n > 0) lx_lap_samples(h, lap, channel, v, *n);
    return v;
}

int main(int argc, char** argv) {
    if (argc != 3) return fprintf(stderr, "usage: lateral-sign FILE LATERAL\n"), 2;
    int h = lx_open(argv[1], NULL);
    if (h < 0) return fprintf(stderr, "lateral-sign: %s\n", lx_last_error()), 1;
    setvbuf(stdout, NULL, _IONBF, 0);
    int lat = lx_find_channel(h, argv[2]), east = lx_find_channel(h, "East"),
        north = lx_find_channel(h, "North");
    if (lat < 0 || east < 0 || north < 0)
        return fprintf(stderr, "lateral-sign: %s\n", lx_last_error()), 1;
    lx_session_info info;
    lx_session_info_get(h, &info);
    long agree = 0, counted = 0;
    for (int lap = 0; lap < info.laps; ++lap) {
        int n, ne, nn;
        float *g = lap_channel(h, lap, lat, &n), *x = lap_channel(h, lap, east, &ne),
              *y = lap_channel(h, lap, north, &nn);
        for (int i = SPAN; g && x && y && i + SPAN < n; ++i) {
            double ax = x[i] - x[i - SPAN], ay = y[i] - y[i - SPAN];
            double bx = x[i + SPAN] - x[i], by = y[i + SPAN] - y[i];
            if (hypot(ax, ay) < MIN_STEP_M || hypot(bx, by) < MIN_STEP_M ||
                fabs(g[i]) < CORNERING_G)
                continue;
            double cross = ax * by - ay * bx; /* negative: clockwise, a right-hand turn */
            counted += 1;
            agree += (cross < 0) == (g[i] > 0);
        }
        free(g), free(x), free(y);
    }
    lx_close(h);
    double share = counted > 0 ? (double)agree / (double)counted : 0.0;
    printf("%s: %s positive in right-hand turns on %.1f %% of %ld cornering samples\n", argv[1],
           argv[2], 100.0 * share, counted);
    return share >= AGREEING ? 0 : 1;
}
