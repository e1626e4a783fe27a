// The company editor: the general trend, each company's profile (name, symbol, type and the six
// description lines) and the figures of its four issues, all edited in the session's market.
#pragma once

#include "data/records.h"

int company_editor();
int company_profile_editor(int company);
int company_stocks_editor(int company);

// Field prompts; each returns 1 if a value (of the group) was stored, else 0.
int edit_general_trend();
int edit_company_name(int company);
int edit_company_symbol(int company);
int edit_company_type(int company);
int edit_options_issue(int company);
int edit_common_issue(int company);
int edit_preferred_issue(int company);
int edit_bonds_issue(int company);

// Row 14 "COMPANY PROFILE EDIT", the company name on row 15, rows 16-21 cleared.
void draw_history_edit_header(int company);

// The description lines as the history line editor edits them: 77 characters padded with
// blanks and a NUL at index 77.
constexpr int kWorkLineSize = 78;
using HistoryWorkCopy = char[kHistoryLines][kWorkLineSize];

// Fills work from the company's lines (at most 77 characters of each).
void build_history_work_copy(const CompanyRecord& company, HistoryWorkCopy& work);
// Stores the saved work copy: each line without its trailing blanks. A line longer than 77
// characters (only a hand-made quonda.dat holds one) whose first 77 were left as they were is
// kept whole, so saving an edit of other lines does not cut it.
void save_history_work_copy(const HistoryWorkCopy& work, CompanyRecord& company);
