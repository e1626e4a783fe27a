// The sysop editor: player editor, company editor, history line editor and their help screens.
#pragma once

// Runs the editor's main menu until the sysop leaves it; returns 0.
int editor_main_menu();
