// Damaged and unusual files through lx_open: files cut short open to their
// last whole sample with a note and a truncated last lap, semicolons with
// decimal commas and unquoted AiM exports read as the usual layout, bytes lx
// does not read called that; and the whole-session MoTeC CSV read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "frame/frame.h"
#include "gen.h"
#include "import_files.h"
#include "lx_data.h"
#include "recording.h"
#include "session/record.h"

using namespace importtest;

namespace {

struct Handle {
    int h;
    explicit Handle(const std::string& path) : h(lx_open(path.c_str(), nullptr)) {
        EXPECT_GT(h, 0) << path << ": " << lx_last_error();
    }
    ~Handle() { lx_close(h); }
    const lx::Session& s() const { return *lxtest::session_of(h); }
    long samples() const {
        long n = 0;
        for (int l = 0; l < s().nlaps; ++l) n += s().laps[l].npoints;
        return n;
    }
    lx_lap_info lap(int l) const {
        lx_lap_info info{};
        EXPECT_EQ(lx_lap_info_get(h, l, &info), LX_OK);
        return info;
    }
};

bool has_note(const Handle& o, const std::string& part) {
    for (const std::string& n : o.s().record->notes)
        if (n.find(part) != std::string::npos) return true;
    return false;
}

// The cut file: the whole one's laps up to the cut, the last flagged.
void expect_cut(const Handle& whole, const Handle& cut, const std::string& note) {
    ASSERT_GT(cut.h, 0);
    EXPECT_TRUE(has_note(cut, note)) << note;
    EXPECT_LT(cut.samples(), whole.samples());
    EXPECT_EQ(cut.s().nlaps, whole.s().nlaps);
    int last = cut.s().nlaps - 1;
    for (int l = 0; l < last; ++l) {
        EXPECT_EQ(cut.lap(l).laptime, whole.lap(l).laptime) << l;
        EXPECT_EQ(cut.lap(l).truncated, 0) << l;
    }
    EXPECT_EQ(cut.lap(last).truncated, 1);
    EXPECT_EQ(whole.lap(last).truncated, 0);
}

std::string without_last_line_end(std::string text) {
    while (text.back() == '\n' || text.back() == '\r') text.pop_back();
    return text;
}

// Semicolons for commas, decimal commas for points.
std::string semicolons(std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == ',')
            text[i] = ';';
        else if (text[i] == '.' && i > 0 && std::isdigit(text[i - 1]))
            text[i] = ',';
    return text;
}

// Blanks around each number inside its quotes, as fixed-width writers leave them.
std::string padded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool in_row = text.compare(i, 3, "\",\"") == 0 && std::isdigit(text[i - 1]);
        out += in_row ? " \",\" " : text.substr(i, 1);
        i += in_row ? 2 : 0;
    }
    return out;
}

void expect_same_samples(const Handle& a, const Handle& b) {
    ASSERT_EQ(a.s().nlaps, b.s().nlaps);
    ASSERT_EQ(a.s().nchannels, b.s().nchannels);
    for (int l = 0; l < a.s().nlaps; ++l) {
        ASSERT_EQ(a.s().laps[l].npoints, b.s().laps[l].npoints);
        EXPECT_EQ(a.lap(l).laptime, b.lap(l).laptime);
        for (int c = 0; c < a.s().nchannels; ++c)
            EXPECT_TRUE(std::equal(a.s().laps[l].raw[c],
                                   a.s().laps[l].raw[c] + a.s().laps[l].npoints,
                                   b.s().laps[l].raw[c]))
                << "lap " << l << " channel " << c;
    }
}

const std::string AIM_BEACONS = "\"Beacon Markers\",\"2.050 5.000\"";

} // namespace

TEST(DamagedFiles, CsvCutMidRowOpensToItsLastWholeRow) {
    for (const std::string& text : {aim_export(AIM_BEACONS), racechrono_export(), motec_export()}) {
        std::string ended = without_last_line_end(text);
        Handle whole(write_temp_file(text, ".csv"));
        Handle unended(write_temp_file(ended, ".csv")); // a whole row without its line end
        EXPECT_EQ(unended.samples(), whole.samples());
        EXPECT_FALSE(has_note(unended, "ends inside"));
        long lines = long(std::count(ended.begin(), ended.end(), '\n')) + 1;
        Handle cut(write_temp_file(ended.substr(0, ended.size() - 3), ".csv"));
        expect_cut(whole, cut, "line " + std::to_string(lines) + ": the file ends inside this row");
    }
}

TEST(DamagedFiles, SemicolonsDecimalCommasPaddingAndUnquotedAim) {
    for (const std::string& text : {aim_export(AIM_BEACONS), racechrono_export(), motec_export()}) {
        Handle usual(write_temp_file(text, ".csv"));
        Handle european(write_temp_file(semicolons(text), ".csv"));
        expect_same_samples(usual, european);
    }
    std::string aim = aim_export(AIM_BEACONS), unquoted;
    for (char c : aim)
        if (c != '"') unquoted += c;
    Handle quoted(write_temp_file(aim, ".csv")), bare(write_temp_file(unquoted, ".csv"));
    expect_same_samples(quoted, bare);
    Handle bare_european(write_temp_file(semicolons(unquoted), ".csv"));
    expect_same_samples(quoted, bare_european);
    Handle motec(write_temp_file(motec_export(), ".csv"));
    expect_same_samples(motec, Handle(write_temp_file(padded(motec_export()), ".csv")));
}

TEST(DamagedFiles, BinaryFilesCutShortAndBytesLxDoesNotRead) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 3;
    plan.missed_beacon_after = 0;
    plan.gps = true;
    lxgen::Recording r = lxgen::drive_session(plan);
    const std::string ld = lxgen::write_ld(r), ibt = lxgen::write_ibt(r);
    Handle whole_ld(write_temp_file(ld, ".ld")), whole_ibt(write_temp_file(ibt, ".ibt"));
    Handle cut_ld(write_temp_file(ld.substr(0, ld.size() - 1001), ".ld"));
    expect_cut(whole_ld, cut_ld, "the file ends at byte " + std::to_string(ld.size() - 1001));
    Handle cut_ibt(write_temp_file(ibt.substr(0, ibt.size() - 5), ".ibt"));
    expect_cut(whole_ibt, cut_ibt, "inside row " + std::to_string(r.rows()));
    EXPECT_EQ(cut_ibt.samples(), long(r.rows()) - 1);
    std::int32_t row_bytes;
    std::memcpy(&row_bytes, ibt.data() + 36, sizeof row_bytes);
    Handle two_rows_short(
        write_temp_file(ibt.substr(0, ibt.size() - 2 * std::size_t(row_bytes)), ".ibt"));
    expect_cut(whole_ibt, two_rows_short, "after row " + std::to_string(r.rows() - 2));
    EXPECT_EQ(two_rows_short.samples(), long(r.rows()) - 2);
    std::string uncounted = ibt.substr(0, ibt.size() - 5);
    std::memset(uncounted.data() + 140, 0, 4); // a header never finished counts no rows
    expect_cut(whole_ibt, Handle(write_temp_file(uncounted, ".ibt")),
               "inside row " + std::to_string(r.rows()) + ": the session ends");

    std::string noise;
    for (int i = 0; i < 3000; ++i) noise += char((i * 7919 + 13) % 256);
    EXPECT_EQ(lx_open(write_temp_file(noise, ".csv").c_str(), nullptr), LX_ERR_FORMAT);
    std::string message = lx_last_error();
    EXPECT_NE(message.find("not a file lx reads: binary content"), std::string::npos) << message;
    EXPECT_EQ(message.find("CSV"), std::string::npos) << message;
}

TEST(WriteMotecCsv, WholeSessionReadsBackWithItsLaps) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 2;
    plan.missed_beacon_after = 0;
    plan.gps = true;
    lxgen::Recording r = lxgen::drive_session(plan);
    for (const std::string& path : {write_temp_file(aim_export(AIM_BEACONS), ".csv"),
                                    write_temp_file(lxgen::write_ld(r), ".ld")}) {
        Handle first(path);
        std::string csv = write_temp_file("", ".csv");
        ASSERT_EQ(lx_write_motec_csv(first.h, csv.c_str()), LX_OK) << lx_last_error();
        Handle back(csv);
        EXPECT_EQ(back.s().record->format, "MoTeC CSV");
        EXPECT_EQ(std::string(back.s().venue), std::string(first.s().venue));
        ASSERT_EQ(back.s().nlaps, first.s().nlaps) << path;
        ASSERT_EQ(back.s().nfile_channels, first.s().nfile_channels) << path;
        for (int l = 0; l < first.s().nlaps; ++l) {
            ASSERT_EQ(back.s().laps[l].npoints, first.s().laps[l].npoints) << path << " " << l;
            EXPECT_NEAR(back.lap(l).laptime, first.lap(l).laptime, 5e-4) << path << " " << l;
            for (int c = 3; c < first.s().nfile_channels; ++c) {
                // East and North again from positions the session holds as floats.
                std::string name = first.s().channels[c].name;
                double metres = name == "East" || name == "North" ? 0.5 : 0;
                for (int j = 0; j < first.s().laps[l].npoints; j += 5)
                    ASSERT_NEAR(back.s().laps[l].raw[c][j], first.s().laps[l].raw[c][j],
                                metres + 1e-6 * std::fabs(first.s().laps[l].raw[c][j]))
                        << path << " channel " << c << " lap " << l << " sample " << j;
            }
        }
    }
    EXPECT_EQ(lx_write_motec_csv(0, "x.csv"), LX_ERR_HANDLE);
}
