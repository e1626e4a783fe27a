// Bullmoor: a stock-market door game. Entry point: session start, then the main menu for good.
#include "screens/main_menu.h"

int main(int argc, char** argv) { return run_bullmoor(argc, argv); }
