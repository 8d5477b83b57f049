// lx convert: any file lx reads, as the tab-separated text export, VBO, MoTeC
// LD or a whole-session MoTeC CSV file.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "tool.h"

namespace lxtool {

namespace {

struct ConvertOptions {
    std::string file, output, to = "text";
};

void run_convert(const ConvertOptions& o) {
    if (o.output == o.file) usage_error("-o names FILE itself; give another file to write");
    Session s = Session::open(o.file);
    check_writable(o.output);
    const char* path = o.output.c_str();
    int written = o.to == "vbo"         ? lx_write_vbo(s.handle(), path)
                  : o.to == "ld"        ? lx_write_ld(s.handle(), path)
                  : o.to == "motec-csv" ? lx_write_motec_csv(s.handle(), path)
                                        : lx_write_text_export(s.handle(), path);
    if (written < 0) library_refused("cannot write " + o.output);
    lx_session_info info = s.info();
    std::fprintf(out, "Wrote %d lap%s and %d channels of %s (%s) to %s\n", s.laps(),
                 s.laps() == 1 ? "" : "s", info.file_channels, o.file.c_str(), info.format,
                 o.output.c_str());
}

} // namespace

Command add_convert(CLI::App& app) {
    static ConvertOptions o;
    CLI::App* c = app.add_subcommand(
        "convert",
        "Write a session as the logger's tab-separated text export, VBO, MoTeC LD or MoTeC CSV");
    c->add_option("FILE", o.file, "session file")->required();
    c->add_option("-o,--output", o.output, "file to write")->required();
    c->add_option("--to", o.to,
                  "text (the text export), vbo, ld (MoTeC LD) or motec-csv (the whole session, "
                  "as the MoTeC analysis program exports data)")
        ->check(CLI::IsMember({"text", "vbo", "ld", "motec-csv"}))
        ->capture_default_str();
    return {c, [] { run_convert(o); }};
}

} // namespace lxtool
