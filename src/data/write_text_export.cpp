// A session written as the tab-separated text export, so that programs which
// read only that format can open any file lx reads. Each value is written as
// the shortest decimal that reads back as the same float.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "aim/line_reader.h"
#include "data/call.h"
#include "data/laps.h"
#include "import/vbo.h"

namespace lx::data {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// "Name [unit]" for each file channel, each followed by a tab as the reader
// needs after the last one too.
std::string title_row(const Session& s) {
    std::string row;
    for (int c = 0; c < s.nfile_channels; ++c) {
        const char* name = s.channels[c].name;
        row += name;
        // The blank before "[" counts as a name character: a name of the
        // longest kind goes without it.
        if (s.channels[c].unit[0] != '\0')
            row.append(std::strlen(name) < TEXT_SIZE - 1 ? " [" : "[")
                .append(s.channels[c].unit)
                .append("]");
        row += '\t';
    }
    return row + "\r\n";
}

void append_value(std::string& row, float value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value);
    row += '\t';
    row.append(text, result.ptr);
}

std::string lap_rows(const Session& s, int l) {
    const Lap& lap = s.laps[l];
    std::string rows;
    for (int j = 0; j < lap.npoints; ++j) {
        if (j == 0) rows += "Lap: 1/" + std::to_string(lap.number);
        for (int c = 0; c < s.nfile_channels; ++c) append_value(rows, lap.raw[c][j]);
        rows += "\r\n";
    }
    return rows;
}

// Each lap by its number, as its first row names it, with the one lap time.
std::string trailer(const Session& s) {
    std::string text = "Lap:\r\n";
    char line[64];
    for (int l = 0; l < s.nlaps; ++l) {
        std::snprintf(line, sizeof line, "%d\tLaptime\t%.3f\r\n", s.laps[l].number,
                      lap_time(&s, l));
        text += line;
    }
    return text;
}

// What the reader could not read back the same.
int check_writable(const Session& s, const char* path, const std::string& titles) {
    if (s.nfile_channels < 3 || std::strcmp(s.channels[1].name, "Time") != 0 ||
        std::strcmp(s.channels[2].name, "Distance") != 0)
        return fail(LX_ERR_STATE, "%s: the session's channels 1 and 2 are not Time and Distance",
                    path);
    if (titles.size() - 2 > LINE_PIECE)
        return fail(LX_ERR_LIMIT, "%s: the channel titles take %d bytes; the text export reads %d",
                    path, static_cast<int>(titles.size() - 2), static_cast<int>(LINE_PIECE));
    for (int l = 0; l < s.nlaps; ++l)
        if (s.laps[l].npoints < 1) return fail(LX_ERR_LAP, "%s: lap %d has no samples", path, l);
    return LX_OK;
}

int write_export(int handle, const char* path) {
    const Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (path == nullptr) return fail(LX_ERR_ARGUMENT, "lx_write_text_export: the path is null");
    std::string titles = title_row(*s);
    if (int status = check_writable(*s, path, titles); status != LX_OK) return status;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "wb"));
    if (!file) return fail(LX_ERR_FILE, "%s: cannot be written", path);
    bool ok = std::fwrite(titles.data(), 1, titles.size(), file.get()) == titles.size();
    for (int l = 0; l < s->nlaps && ok; ++l) {
        std::string rows = lap_rows(*s, l);
        ok = std::fwrite(rows.data(), 1, rows.size(), file.get()) == rows.size();
    }
    std::string end = trailer(*s);
    ok = ok && std::fwrite(end.data(), 1, end.size(), file.get()) == end.size();
    ok = std::fclose(file.release()) == 0 && ok;
    if (!ok) return fail(LX_ERR_FILE, "%s: writing failed", path);
    return LX_OK;
}

} // namespace

} // namespace lx::data

extern "C" LX_DATA_API int lx_write_text_export(int handle, const char* path) {
    return lx::data::api_call([&] { return lx::data::write_export(handle, path); });
}

extern "C" LX_DATA_API int lx_write_vbo(int handle, const char* path) {
    return lx::data::api_call([&] {
        const lx::Session* s = lx::data::find_session(handle);
        if (s == nullptr) return static_cast<int>(LX_ERR_HANDLE);
        if (path == nullptr)
            return lx::data::fail(LX_ERR_ARGUMENT, "lx_write_vbo: the path is null");
        lx::WriteResult written = lx::write_vbo(*s, path);
        return written.status == 0 ? static_cast<int>(LX_OK)
                                   : lx::data::fail_with(written.status, written.message);
    });
}
