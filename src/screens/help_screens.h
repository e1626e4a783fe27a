// The player help subjects of the main and trading help menus.
#pragma once

// Shows main help subject item 0..5 (general, brokers report, company profile, trade stocks,
// page sysop, change graphics).
int show_main_help_subject(int item);
// Shows trading help subject item 0..5 (general trading, buy, sell, buy back short, sell
// short, option stocks).
int show_trading_help_subject(int item);
