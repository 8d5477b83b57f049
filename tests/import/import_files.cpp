#include "import_files.h"

#include <cstdio>

namespace importtest {

lx::ImportResult import(const std::string& path, const lx::ImportOptions& options) {
    lx::FileFormat format = lx::sniff_format(path.c_str());
    if (format == lx::FileFormat::ld) return lx::import_ld(path.c_str(), options);
    if (format == lx::FileFormat::ibt) return lx::import_ibt(path.c_str(), options);
    return lx::import_csv(path.c_str(), format, options);
}

std::string aim_export(const std::string& beacon_row) {
    std::string text =
        "\"Format\",\"AiM CSV File\"\r\n\"Session\",\"Test \"\"ring\"\"\"\r\n"
        "\"Racer\",\"Ann\"\r\n\"Sample Rate\",\"10\"\r\n" +
        beacon_row +
        "\r\n\"Segment Times\",\"0:02.050\",\"0:02.950\",\"0:01.500\"\r\n\r\n"
        "\"Time\",\"GPS Speed\",\"GPS LatAcc\",\"Water\",\"GPS Latitude\",\"GPS Longitude\"\r\n"
        "\"s\",\"km/h\",\"g\",\"\xB0"
        "C\",\"deg\",\"deg\"\r\n\r\n";
    char row[256];
    for (int i = 0; i <= 64; ++i) {
        // 10 m north is 10 / 111132.95 degrees of latitude at 45 N.
        std::snprintf(row, sizeof row, "\"%.3f\",\"36.0\",\"%.2f\",\"80\",\"%.9f\",\"7.0\"\r\n",
                      i / 10.0, i / 100.0, 45.0 + i * 1.0 / 111132.95);
        text += row;
    }
    return text;
}

std::string restart_export() {
    std::string text = "\"Format\",\"AIM CSV File\"\n\"Beacon Markers\",\"1.050, 2.000\"\n"
                       "\"Segment Times\",\"0:01.050\",\"0:00.950\"\n\n"
                       "\"Time\",\"Distance\",\"Speed\",\n\"Time\",\"Distance\",\"Speed\",\n"
                       "\"sec\",\"km\",\"km/h\",\n\"\",\"\",\"1\",\n\n";
    char row[64];
    for (int i = 0; i <= 10; ++i)
        std::snprintf(row, sizeof row, "%.3f,%.4f,36\n", i / 10.0, i / 1000.0), text += row;
    text += "1.050,0.0105,36\n";
    for (int i = 0; i <= 9; ++i)
        std::snprintf(row, sizeof row, "%.3f,%.4f,36\n", i / 10.0, i / 1000.0), text += row;
    text += "0.950,0.0095,36\n";
    return text;
}

std::string racechrono_export() {
    std::string text =
        "This file is created using RaceChrono (test)\nFormat,3\nTrack name,\"Ring\"\n"
        "Driver name,Bob\nCreated,01/02/2025,10:00\n\n"
        "timestamp,lap_number,device_update_rate,latitude,longitude,speed,lateral_acc,rpm\n"
        "unix time,,Hz,deg,deg,m/s,G,rpm\n,,100: gps,100: gps,100: gps,100: gps,calc,200: obd\n";
    char row[160];
    for (int i = 0; i <= 30; ++i) {
        double t = i / 10.0;
        int lap = t < 1.05 ? 1 : t < 2.55 ? 2 : 3;
        std::snprintf(row, sizeof row, "%.2f,%d,10,%.9f,7.0,10,0.5,\n", 1.7e9 + t, lap,
                      45.0 + t * 10 / 111132.95);
        text += row;
        if (i == 10 || i == 25) { // a crossing row, and a repeated one
            std::snprintf(row, sizeof row, "%.2f,%d,10,,,10,0.5,\n", 1.7e9 + t + 0.05, lap + 1);
            text += std::string(row) + row;
        }
        if (i < 30)
            std::snprintf(row, sizeof row, "%.3f,%d,,,,,,%.1f\n", 1.7e9 + t + 0.05, lap,
                          1050 + 1000 * t),
                text += row;
    }
    return text;
}

std::string motec_export() {
    std::string text =
        "\"Format\",\"MoTeC CSV "
        "File\",,,\"Workbook\",\"\"\n\"Venue\",\"Park\",,,\"Worksheet\",\"\"\n"
        "\"Log Date\",\"2024-01-01\",,,\"Origin Time\",\"0.000\",\"s\"\n"
        "\"Beacon Markers\",\"3.000 6.500 \"\n\n\n"
        "\"Time\",\"Distance\",\"Time\",\"Ground Speed\"\n\"s\",\"km\",\"min\",\"m/s\"\n\n\n";
    char row[96];
    for (int i = 0; i < 20; ++i)
        std::snprintf(row, sizeof row, "\"%.3f\",\"%.3f\",\"%.4f\",\"20\"\n", i / 2.0, i / 100.0,
                      i / 120.0),
            text += row;
    return text;
}

} // namespace importtest
