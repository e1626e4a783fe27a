// The player editor: walks quonda.plr one stored record at a time, edits a player's name, dates,
// graphics mode, cash and holdings, and writes changed records back in place. The session
// player's own record is always taken from and given back to memory.
#pragma once

// Runs the player editor until "Exit editor"; returns 0.
int player_editor();
// The holdings sub-menu; company is the company shown (in and out). Returns 1 if any value was
// stored, else 0.
int holdings_editor(int& company);

// Rows 0-13: the edit buffer's record with the holding in company.
void draw_player_profile(int company);
// Only the four holding value lines for company.
void draw_holding_lines(int company);

// Field prompts on the edit buffer; each returns 1 if a value was stored, else 0.
int edit_player_name();
int edit_last_played();
int edit_last_traded();
int edit_graphics_mode();
int edit_cash();
int edit_options_holding(int company);
int edit_common_holding(int company);
int edit_preferred_holding(int company);
int edit_bonds_holding(int company);
