// lx: the library's analyses from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <vector>

#include "commands.h"
#include "tool.h"

using namespace lxtool;

int main(int argc, char** argv) {
    CLI::App app{"Analyses sessions exported by a motorsport data logger (tab-separated lap "
                 "export) through liblx.",
                 "lx"};
    bool show_library = false;
    app.add_flag("-v,--verbose", show_library,
                 "show the library's own messages on standard error (prefixed 'library:')");
    app.require_subcommand(1);
    std::vector<Command> commands = {add_info(app),  add_laps(app),  add_delta(app),
                                     add_motec(app), add_map(app),   add_chart(app),
                                     add_cut(app),   add_report(app)};
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : EXIT_USAGE;
    }
    start_output(show_library);
    int code = 0;
    try {
        for (const Command& c : commands)
            if (c.app->parsed()) c.run();
    } catch (const Failure& f) {
        std::fflush(out);
        std::fprintf(stderr, "lx: %s\n", f.message.c_str());
        if (!f.library_said.empty() && !show_library)
            std::fprintf(stderr, "lx: the library said:\n%s", f.library_said.c_str());
        code = f.code;
    }
    finish_output();
    return code;
}
