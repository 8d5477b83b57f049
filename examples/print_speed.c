/* Prints the speed samples of a session's second lap: print_speed FILE */
#include <stdio.h>
#include <stdlib.h>

#include "lx_data.h"

static int refused(void) {
    fprintf(stderr, "%s\n", lx_last_error());
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2 || lx_data_version() / 10000 != LX_DATA_VERSION / 10000) return 2;
    int session = lx_open(argv[1], NULL);
    if (session < 0) return refused();
    lx_channel_info speed;
    int channel = lx_find_channel(session, "Speed");
    if (channel < 0 || lx_channel_info_get(session, channel, &speed) < 0) return refused();
    int n = lx_lap_samples(session, 1, channel, NULL, 0); /* the count first */
    float* samples = n < 0 ? NULL : malloc(((size_t)n + 1) * sizeof(float));
    if (samples == NULL || lx_lap_samples(session, 1, channel, samples, n) < 0) return refused();
    for (int i = 0; i < n; ++i) printf("%g %s\n", samples[i], speed.unit);
    free(samples);
    lx_close(session);
    return 0;
}
