#pragma once
// File > Export: the main frame as a tab-separated text table, one channel
// as raw bytes with a companion text, and the screen as a picture. Each asks
// for a file name in the folder last used, remembers the folder, and tells
// every failure in a message box.

namespace kr40 {

struct ScopeState;
struct PixelView;
class Prompts;

void Menu_TextClick(ScopeState& st, Prompts& prompts);
// `channel`: ChanA1 .. ChanD2.
void Menu_EBinClick(ScopeState& st, Prompts& prompts, int channel);
// `screen`: the screen bitmap as drawn.
void Menu_ImageClick(ScopeState& st, Prompts& prompts, const PixelView& screen);

}  // namespace kr40
