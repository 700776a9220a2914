#include "app/menu_table.h"

#include "acquisition/scope_tables.h"

namespace kr40 {

namespace {

class Rows {
public:
    explicit Rows(std::vector<MenuRow>& out) : out_(out) {}
    Rows& Menu(const char* name, const char* caption = "")
    {
        out_.push_back({depth_++, MenuKind::Menu, name, caption, ""});
        return *this;
    }
    Rows& End()
    {
        --depth_;
        return *this;
    }
    Rows& Item(const char* name, const char* shortcut = "", const char* caption = "")
    {
        out_.push_back({depth_, MenuKind::Item, name, caption, shortcut});
        return *this;
    }
    Rows& Sep()
    {
        out_.push_back({depth_, MenuKind::Separator, "", "", ""});
        return *this;
    }
    template <std::size_t N>
    Rows& Choices(const std::array<MenuChoiceRow, N>& rows)
    {
        for (const MenuChoiceRow& r : rows) out_.push_back({depth_, MenuKind::Item, r.control, r.caption, ""});
        return *this;
    }
    Rows& Probe(const char* channel)
    {
        for (const char* x : ProbeKeySuffix)
            out_.push_back({depth_, MenuKind::Item, std::string("Menu_") + channel + "_" + x, x, ""});
        return *this;
    }

private:
    std::vector<MenuRow>& out_;
    int depth_ = 0;
};

std::vector<MenuRow> Build()
{
    std::vector<MenuRow> v;
    Rows r(v);
    r.Menu("Menu_File")
        .Item("Menu_Open", "Ctrl+O")
        .Item("Menu_Open_Settings")
        .Item("Menu_Open_Gen_Form", "Ctrl+G")
        .Sep()
        .Item("Menu_Save_As", "Ctrl+S")
        .Item("Menu_Save_Settings_As")
        .Sep()
        .Menu("Menu_Export")
        .Item("Menu_Image")
        .Item("Menu_Text")
        .Menu("Menu_Row_Binary")
        .Item("Menu_EBin_A1")
        .Item("Menu_EBin_A2")
        .Item("Menu_EBin_D1")
        .Item("Menu_EBin_D2")
        .End()
        .End()
        .Item("Menu_Recorder", "", "Recorder...")
        .Sep()
        .Menu("Menu_Transfer_Rate", "Transfer Rate")
        .Choices(TransferRateChoices)
        .End()
        .Menu("Menu_Max_FPS")
        .Choices(FrameRateChoices)
        .End()
        .Sep()
        .Item("Menu_Exit")
        .End();

    r.Menu("Menu_Options")
        .Item("Menu_Trigger", "Ctrl+T")
        .Item("Menu_FFTSet")
        .Item("Menu_GeneratorSet")
        .Sep()
        .Menu("Menu_Probe_A1")
        .Probe("A1")
        .End()
        .Menu("Menu_Probe_A2")
        .Probe("A2")
        .End()
        .Sep()
        .Item("Menu_SchmittT_D1")
        .Item("Menu_SchmittT_D2")
        .Sep()
        .Menu("Menu_Sampling")
        .Item("Menu_SmplPeakDet", "Ctrl+P")
        .Sep()
        .Choices(SampleCounts)
        .End()
        .Menu("Menu_Divisions")
        .Choices(DivisionChoices)
        .End()
        .Menu("Menu_FreqMeter")
        .Item("Menu_FM_Off")
        .Item("Menu_FM_Freq")
        .Item("Menu_FM_Period")
        .Sep()
        .Item("Menu_FM_RST", "Ctrl+R")
        .Sep()
        .Item("Menu_FM_A1")
        .Item("Menu_FM_A2")
        .Item("Menu_FM_D1")
        .Item("Menu_FM_D2")
        .Item("Menu_FM_D1_HF")
        .Item("Menu_FM_D2_HF")
        .Item("Menu_FM_TRIG")
        .End()
        .Sep()
        .Item("Menu_FM_Calibrate")
        .Item("Menu_ZeroCalibrate", "Ctrl+Z")
        .Item("Menu_TDCCalibrate", "Ctrl+X")
        .Sep()
        .Item("Menu_Colors")
        .Menu("Menu_Language")
        .Item("Menu_Russian")
        .Item("Menu_English")
        .End()
        .End();

    r.Menu("Menu_View")
        .Item("Menu_CH_A1")
        .Item("Menu_CH_A2")
        .Item("Menu_CH_D1")
        .Item("Menu_CH_D2")
        .Sep()
        .Item("Menu_Markers_1")
        .Item("Menu_Markers_2")
        .Sep()
        .Item("Menu_Measure", "Ctrl+M")
        .Item("Menu_Grid")
        .Item("Menu_TrigPosL")
        .Item("Menu_Extra_Info")
        .Item("Menu_Trig_T", "Ctrl+E")
        .Item("Menu_Gen_View")
        .Item("Menu_BG_View")
        .Sep()
        .Item("Menu_BG_Do", "Ctrl+B")
        .Item("Menu_BG_Clr")
        .Sep()
        .Menu("Menu_DrawMode")
        .Item("Menu_Persistence", "Ctrl+H")
        .Sep()
        .Item("Menu_Dots")
        .Item("Menu_Vectors")
        .Item("Menu_Sinxx")
        .End()
        .Item("Menu_Lenta")
        .Sep()
        .Item("Menu_FFT_A1")
        .Item("Menu_FFT_A2")
        .Sep()
        .Item("Menu_Compact", "Ctrl+C")
        .Item("Menu_On_Top")
        .End();

    r.Menu("Menu_Tools").Item("Menu_SerialDecoders").Item("Menu_LCMeter").End();

    r.Menu("Menu_Help").Item("Menu_Help_Contents").Sep().Item("Menu_About").End();
    return v;
}

}  // namespace

const std::vector<MenuRow>& MainMenuRows()
{
    static const std::vector<MenuRow> rows = Build();
    return rows;
}

}  // namespace kr40
