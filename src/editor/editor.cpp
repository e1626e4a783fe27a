// The editor's main menu: players, companies and the general editing help.
#include "editor/editor.h"

#include "editor/company_editor.h"
#include "editor/editor_help.h"
#include "editor/editor_menu.h"
#include "editor/player_editor.h"
#include "screens/framework.h"
#include "session/terminal.h"

namespace {

// The upper screen keeps what a sub-editor last showed until "*" or the main menu redraws it.
class MainEditorMenu : public EditorMenuHandler {
  public:
    bool carry_out(int item) override {
        switch (item) {
            case 0:
                player_editor();
                break;
            case 1:
                company_editor();
                break;
            case 2:
                general_editing_help();
                break;
            default:
                return true;
        }
        draw_menu_screen(kMainEditorMenu);
        return false;
    }

    void redraw_screen() override {
        term_clear_screen();
        draw_holdings_table();
        draw_menu_screen(kMainEditorMenu);
        draw_message_heading();
        show_edit_prompt();
    }
};

}  // namespace

int editor_main_menu() {
    draw_menu_screen(kMainEditorMenu);
    show_edit_prompt();
    MainEditorMenu menu;
    run_editor_menu(kMainEditorMenu, menu);
    return 0;
}
