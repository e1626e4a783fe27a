// Bullmoor as the tests run it: the real game with the door kit's pauses switched off, so its
// five-second pauses cost no time. Started like the product (no arguments, or node, drop file
// and socket).
#include "doorkit/opendoors.h"
#include "screens/main_menu.h"

int main(int argc, char** argv) {
    od_set_skip_pauses(true);
    return run_bullmoor(argc, argv);
}
