// orvo: shows what an Orvo file holds beyond the picture every TIFF viewer shows: the layers,
// the camera, the object table, single pixels with their world positions, and PNG pictures of
// the depth and object-id layers. Reads both revisions, rendered views and panoramas alike.
#include "commands.h"
#include "orvo_document.h"
#include "shown_text.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace {

const char Usage[] =
    "Usage: orvo info [--json] [--rolls UP,DOWN] FILE [FILE ...]\n"
    "       orvo query [--json] [--rolls UP,DOWN] FILE X Y [X Y ...]\n"
    "       orvo query [--json] [--rolls UP,DOWN] FILE -\n"
    "       orvo preview [--layers LIST] FILE OUTDIR\n"
    "       orvo web [--rolls UP,DOWN] FILE DIR\n"
    "       orvo export equirect [--rolls UP,DOWN] FILE OUTDIR [--width W]\n"
    "       orvo export exr [--rolls UP,DOWN] FILE OUT.exr [--layout latlong|cube]\n"
    "       orvo --help | --version\n";

const char Help[] =
    "\n"
    "Shows what an Orvo file holds: a colour picture, and pixel for pixel a depth layer and\n"
    "an object-id layer with a table of object names and colours, plus the camera that took\n"
    "the view.\n"
    "\n"
    "  info      the revision, the layers, the TIFF directories, the view record, the object\n"
    "            table and what the layers' pixels use\n"
    "  query     colour, object, depth, distance and world position of single pixels\n"
    "  preview   PNG pictures of the colour, depth and object-id layers\n"
    "  web       a folder with the web viewer that opens the file by itself: look around a\n"
    "            panorama, hover for object and distance, measure\n"
    "  export    a panorama as equirectangular PNG and TIFF images with a JSON table, or a\n"
    "            panorama or view as an OpenEXR file with depth and object ids\n"
    "\n"
    "orvo COMMAND --help tells more about each.\n"
    "\n"
    "Exit status: 0 success, 1 a file cannot be read or written (a one-line message names\n"
    "it), 2 wrong usage.\n";

struct Command {
    const char* name;
    const char* synopsis;
    const char* help;
    int (*run)(const Arguments&);
};

const Command Commands[] = {
    {"info", InfoSynopsis, InfoHelp, RunInfo},
    {"query", QuerySynopsis, QueryHelp, RunQuery},
    {"preview", PreviewSynopsis, PreviewHelp, RunPreview},
    {"web", WebSynopsis, WebHelp, RunWeb},
#ifdef ORVO_HAS_EXPORT
    {"export", ExportSynopsis, ExportHelp, RunExport},
#endif
};

int Misuse(const std::string& problem, const char* synopsis, const char* more) {
    std::fprintf(stderr, "orvo: %s\nUsage: %s\n%s\n", problem.c_str(), synopsis, more);
    return 2;
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        std::fputs(Usage, stdout);
        std::fputs(Help, stdout);
        return 0;
    }
    if (name == "--version") {
        std::puts("orvo " ORVO_VERSION);
        return 0;
    }
    for (const Command& command : Commands) {
        if (name != command.name) {
            continue;
        }
        const Arguments arguments(argv + 2, argv + argc);
        for (const std::string& argument : arguments) {
            if (argument == "-h" || argument == "--help") {
                std::fputs(command.help, stdout);
                return 0;
            }
        }
        try {
            return command.run(arguments);
        } catch (const UsageError& error) {
            return Misuse(error.what(), command.synopsis,
                          ("Try 'orvo " + name + " --help'.").c_str());
        }
    }
    return Misuse("unknown command \"" + name + "\"", "orvo info|query|preview|web|export ...",
                  "Try 'orvo --help'.");
}

} // namespace

int main(int argc, char** argv) {
    try {
        const int status = Run(argc, argv);
        if (std::fflush(stdout) != 0) {
            std::fputs("orvo: standard output: cannot write\n", stderr);
            return 1;
        }
        return status;
    } catch (const FileError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "orvo: %s: %s\n", Shown(error.File()).c_str(),
                     Shown(error.what()).c_str());
    } catch (const std::bad_alloc&) {
        std::fputs("orvo: out of memory\n", stderr);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvo: %s\n", Shown(error.what()).c_str());
    }
    return 1;
}
