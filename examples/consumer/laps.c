/* The smallest program on lx: how many laps a session holds. */
#include <stdio.h>

#include <lx.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: laps FILE\n");
        return 2;
    }
    int session = lx_open_aim_xls(argv[1]);
    if (session == 0)
        return 1; /* the library printed why */
    printf("%s: %d laps\n", argv[1], lx_num_laps(session));
    lx_free_session(session);
    return 0;
}
