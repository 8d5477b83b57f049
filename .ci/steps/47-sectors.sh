# Default sector cuts and corner splits on the real sessions in
# ../shared/data/real (never copied into the repository): the two kart
# sessions cut within 15 m of each other, the two Tianma files within 15 m or
# 1 % of the lap, every sector 20-50 % of the reference lap's time, sector
# times adding up to the lap time, and MyChron 5 lap 6's corner 9 split in two.
# Skipped where the folder is absent.
set -euo pipefail
real=${LX_REAL_DATA:-../shared/data/real}
if [ ! -d "$real" ]; then
    echo "sectors: $real absent, skipped"
    exit 0
fi
LX_REAL_DATA=$(cd "$real" && pwd) "${LX_ANALYTICS_TESTS:-build/tests/lx_analytics_tests}" \
    --gtest_filter='RealSessions.*' --gtest_brief=1
