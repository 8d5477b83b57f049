/* The smallest program on lx: how many laps a session holds. */
#include <stdio.h>

#include <lx_data.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: laps FILE\n");
        return 2;
    }
    int session = lx_open(argv[1], NULL);
    lx_session_info info;
    if (session < 0 || lx_session_info_get(session, &info) < 0) {
        fprintf(stderr, "laps: %s\n", lx_last_error());
        return 1;
    }
    printf("%s: %d laps\n", argv[1], info.laps);
    lx_close(session);
    return 0;
}
