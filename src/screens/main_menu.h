// The program's entry and the main menu, with the graphics menu, paging and the editor login.
#pragma once

// Records the start time, runs session start, then the main menu until the session ends.
int run_bullmoor(int argc, char** argv);
int graphics_menu();
void main_help_menu();
