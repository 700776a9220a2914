#pragma once
// Appearance: the colour dialog's model (texts, the colours saved while it is
// open, the default colours) and the texts of the About box.

#include <array>
#include <cstdint>
#include <string>

#include "acquisition/scope_settings.h"
#include "core/texts.h"
#include "device/link_state.h"

namespace kr40 {

using ColourTable = std::array<std::uint32_t, ColorCount>;  // 0x00BBGGRR, by ColorIndex

// The colour dialog's texts; the rows follow ColorIndex.
struct ColourDialogTexts {
    TextPair caption;
    std::array<TextPair, ColorCount> rows;
    TextPair cancel;
    TextPair defaults;
};
const ColourDialogTexts& ColourDialogCaptions();

// Object name of each role's button, by ColorIndex.
const std::array<const char*, ColorCount>& ColourRoleButtons();

// The default colours, as the settings' key table gives them.
ColourTable DefaultColours();
void LoadDefaultColours(ScopeSettings& s);

// One opening of the colour dialog: every change shows live, so the colours at
// opening are kept and put back when the dialog ends with Cancel.
class ColourSession {
public:
    explicit ColourSession(const ScopeSettings& s) : saved_(s.Colors) {}

    // Ends the session. Cancel restores the saved colours; any other close
    // keeps them. Returns whether the settings file must be written (every
    // close but Cancel, even when nothing changed).
    bool Finish(ScopeSettings& s, bool cancelled) const;

    const ColourTable& Saved() const { return saved_; }

private:
    ColourTable saved_;
};

// Version v as shown: v / 100 "." (v / 10) mod 10, v mod 10 (227 -> "2.27");
// "..." while not yet reported (negative).
std::string VersionText(int v);

// The About box's texts in one language.
struct AboutTexts {
    std::string caption;
    std::string product;
    std::string software;
    std::string firmware;
    std::string fpga;
    bool serialVisible = false;  // debug mode only
    std::string serial;
};
AboutTexts MakeAboutTexts(bool russian, const DeviceIdentity& id, std::uint32_t chipId, bool debug);

}  // namespace kr40
