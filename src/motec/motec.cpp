// One lap written as a MoTeC CSV file.
#include "motec/motec.h"
#include "base/output.h"

#include <cstdio>

namespace lx {

namespace {

// Binary mode with CR LF written out, so every platform writes the same bytes.
constexpr const char* EOL = "\r\n";
constexpr const char* CREDIT = "Exported by lx";

bool mapped(const Channel& c) {
    return c.motec_id != 0;
}

float export_value(const Channel& c, float sample) {
    if (!mapped(c)) return sample;
    return static_cast<float>(static_cast<double>(sample) * c.scale + c.offset);
}

void write_header(std::FILE* f, const Session* s, const Lap& l) {
    char laptime[TEXT_SIZE];
    format_laptime(laptime, l.raw_laptime);
    std::fprintf(f, "Format,MoTeC CSV File%s", EOL);
    std::fprintf(f, "Venue,%s%s", s->venue, EOL);
    std::fprintf(f, "Vehicle,%s%s", s->vehicle, EOL);
    std::fprintf(f, "User,%s%s", s->driver, EOL);
    std::fprintf(f, "Data Source,MoTeC ADL 2%s", EOL);
    std::fprintf(f, "Comment,%s%s", CREDIT, EOL);
    std::fprintf(f, "Date,1/1/2005%s", EOL);
    std::fprintf(f, "Time,12:00:00%s", EOL);
    std::fprintf(f, "Sample Rate,%.1f%s", s->sample_rate, EOL);
    std::fprintf(f, "Duration,%.3f%s", l.raw_laptime, EOL);
    std::fprintf(f, "Segment,Lap %d - %s%s", l.number, laptime, EOL);
    std::fprintf(f, "%s", EOL);
}

// Channel 0, the first column of the logger's export, is never written.
void write_channel_rows(std::FILE* f, const Session* s) {
    for (int c = 1; c < s->nchannels; ++c) {
        const Channel& ch = s->channels[c];
        std::fprintf(f, "%s,", mapped(ch) ? ch.motec_name : ch.name);
    }
    std::fprintf(f, "%s", EOL);
    for (int c = 1; c < s->nchannels; ++c) std::fprintf(f, "%s,", s->channels[c].name);
    std::fprintf(f, "%s", EOL);
    for (int c = 1; c < s->nchannels; ++c) {
        const Channel& ch = s->channels[c];
        std::fprintf(f, "%s,", mapped(ch) ? ch.motec_unit : ch.unit);
    }
    std::fprintf(f, "%s", EOL);
    for (int c = 1; c < s->nchannels; ++c) {
        int id = s->channels[c].motec_id;
        if (id > 0)
            std::fprintf(f, "%d,", id);
        else
            std::fputc(',', f);
    }
    std::fprintf(f, "%s", EOL);
    std::fprintf(f, "%s", EOL);
}

void write_samples(std::FILE* f, const Session* s, const Lap& l) {
    for (int j = 0; j < l.npoints; ++j) {
        for (int c = 1; c < s->nchannels; ++c)
            std::fprintf(f, "%.4f,", export_value(s->channels[c], l.raw[c][j]));
        std::fprintf(f, "%s", EOL);
    }
}

} // namespace

int write_motec_csv(const Session* s, int lap, const char* path, const Sink& out) {
    std::FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (f == nullptr) {
        emit(out, "Failed to open output file!\n");
        return 0;
    }
    const Lap& l = s->laps[lap];
    write_header(f, s, l);
    write_channel_rows(f, s);
    write_samples(f, s, l);
    std::fclose(f);
    return 1;
}

} // namespace lx
