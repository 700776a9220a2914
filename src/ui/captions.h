#pragma once
// The main window's captions in both languages, as one table in the order the
// language switch writes them. The window maps each control name to its
// widget; speed buttons and group boxes take the text as their caption, menu
// items as their menu text ("&&" shows as one ampersand there).

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/texts.h"

namespace kr40 {

struct CaptionRow {
    const char* control;
    TextPair text;  // ru == nullptr: the control has no Russian caption
};

// All rows, in the order they are written.
std::span<const CaptionRow> MainCaptions();

// Writes every caption of the table for the chosen language, in table order.
// Menu_Language has no Russian caption and is written only for English.
void SetLanguage(bool russian,
                 const std::function<void(std::string_view control, const std::string& caption)>& setCaption);

// The caption the language switch writes for a control; empty when the
// control is not in the table. Menu_Language keeps its English caption in
// both languages.
std::string MainCaption(std::string_view control, bool russian);

}  // namespace kr40
