// stitch: joins six cube-face Orvo files into one panorama strip. It opens no window; its
// only outputs besides the files are message boxes and its exit code.
#include "command_line.h"

int main(int argc, char** argv) {
    return RunStitch(argc, argv);
}
