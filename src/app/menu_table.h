#pragma once
// The main window's menu bar as data: every menu, item and separator in
// order, with shortcut keys. The window walks it to build the menus; captions
// come from the caption table (or the choice tables) unless a row gives the
// designed caption itself.

#include <string>
#include <vector>

namespace kr40 {

enum class MenuKind { Menu, Item, Separator };

struct MenuRow {
    int depth;  // 0 = menu bar
    MenuKind kind;
    std::string name;      // control name, empty for separators
    std::string caption;   // designed English caption; empty = the caption table's
    std::string shortcut;  // "Ctrl+O", empty when none
};

// The whole menu bar, in order; a Menu row's children follow it one level deeper.
const std::vector<MenuRow>& MainMenuRows();

}  // namespace kr40
