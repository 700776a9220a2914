#include "ui/captions.h"

#include <array>

namespace kr40 {
namespace {

// A leading apostrophe marks a row of the table and is never shown: the
// caption produced drops it ("'CH A1..." reads "CH A1...").
constexpr std::array<CaptionRow, 96> kCaptions = {{
    {"GroupBox1", {"Scope", "Осциллограф"}},
    {"StaticText_TimeDiv", {"Time/Div", "Время/Дел"}},
    {"SpeedButton_Trig", {"Trigger", "Синхронизация"}},
    {"SpeedButton_Trig_On", {"ON", "Вкл."}},
    {"SpeedButton_Run", {"RUN", "Пуск"}},
    {"SpeedButton_Sngl", {"SINGLE", "Однокр."}},
    {"SpeedButton_Auto", {"Auto", "Авт."}},
    {"GroupBox2", {"Generator", "Генератор"}},
    {"SpeedButton_GenOn", {"ON", "Вкл."}},
    {"SpeedButton_GenRun", {"RUN", "Пуск"}},
    {"SpeedButton_Mod", {"Mod.", "Мод."}},
    {"SpeedButton_Pulse", {"Pulse", "Имп."}},
    {"SpeedButton_Sweep", {"Swp.", "ГКЧ"}},
    {"SpeedButton_Form", {"AFG", "ПФ"}},
    {"Menu_File", {"File", "Файл"}},
    {"Menu_Open", {"Open...", "Открыть осциллограмму..."}},
    {"Menu_Open_Settings", {"Open Settings...", "Открыть настройки..."}},
    {"Menu_Open_Gen_Form", {"Open AFG File...", "Открыть файл генератора ПФ..."}},
    {"Menu_Save_As", {"Save...", "Сохранить осциллограмму..."}},
    {"Menu_Save_Settings_As", {"Save Settings...", "Сохранить настройки..."}},
    {"Menu_Export", {"Export", "Экспорт"}},
    {"Menu_Image", {"Image...", "Рисунок..."}},
    {"Menu_Text", {"Text...", "Текст..."}},
    {"Menu_Row_Binary", {"Row Binary", "Двоичный"}},
    {"Menu_EBin_A1", {"'CH A1...", "'Канал A1..."}},
    {"Menu_EBin_A2", {"CH A2...", "Канал A2..."}},
    {"Menu_EBin_D1", {"'CH D1...", "'Канал D1..."}},
    {"Menu_EBin_D2", {"CH D2...", "Канал D2..."}},
    {"Menu_Recorder", {"'Binary Recorder (CH A1)...", "'Двоичный самописец (канал A1)..."}},
    {"Menu_Transfer_Rate", {"Transfer Rate (Mbps)", "Скорость обмена (Мбит/с)"}},
    {"Menu_Max_FPS", {"FPS (max)", "Осциллограмм в секунду (макс.)"}},
    {"Menu_FPS_NO_LIM", {"No Limit", "Не огранич."}},
    {"Menu_Exit", {"Exit", "Выход"}},
    {"Menu_Options", {"Options", "Настройки"}},
    {"Menu_Trigger", {"Trigger...", "Синхронизация..."}},
    {"Menu_FFTSet", {"FFT...", "БПФ..."}},
    {"Menu_GeneratorSet", {"Generator Mod...", "Модуляция генератора..."}},
    {"Menu_Sampling", {"Sampling", "Выборки"}},
    {"Menu_SmplPeakDet", {"Peak Detect", "Пиковый детектор"}},
    {"Menu_Smpl_Max", {"'20000 (A or A+D)", "'20000 (A или A+D)"}},
    {"Menu_Divisions", {"Divisions Per Signal (min)", "Гориз. развертка, делений (мин.)"}},
    {"Menu_Probe_A1", {"'Probe A1", "'Пробник для канала A1"}},
    {"Menu_Probe_A2", {"Probe A2", "Пробник для канала A2"}},
    {"Menu_SchmittT_D1", {"'Schmitt Trigger D1", "'Гистерезис канала D1"}},
    {"Menu_SchmittT_D2", {"Schmitt Trigger D2", "Гистерезис канала D2"}},
    {"Menu_FreqMeter", {"Freq. Meter", "Частотомер"}},
    {"Menu_FM_Off", {"Off", "Выключен"}},
    {"Menu_FM_Freq", {"Frequency", "Частота"}},
    {"Menu_FM_Period", {"Period && Counter", "Период и счёт"}},
    {"Menu_FM_RST", {"Counter Reset", "Сброс счёта"}},
    {"Menu_FM_A1", {"'CH A1", "'Канал A1"}},
    {"Menu_FM_A2", {"CH A2", "Канал A2"}},
    {"Menu_FM_D1", {"'CH D1", "'Канал D1"}},
    {"Menu_FM_D2", {"CH D2", "Канал D2"}},
    {"Menu_FM_D1_HF", {"'CH D1 (HF)", "'Канал D1 (ВЧ)"}},
    {"Menu_FM_D2_HF", {"CH D2 (HF)", "Канал D2 (ВЧ)"}},
    {"Menu_FM_TRIG", {"Trig. Cond.", "Условие синхр."}},
    {"Menu_FM_Calibrate", {"Freq. Meter Calibrate...", "Калибровка частотомера..."}},
    {"Menu_ZeroCalibrate", {"Zero Calibrate...", "Калибровка уровня нуля..."}},
    {"Menu_TDCCalibrate", {"TDC Calibrate...", "Калибровка TDC..."}},
    {"Menu_View", {"View", "Вид"}},
    {"Menu_Markers_1", {"Markers 1", "Маркеры"}},
    {"Menu_Markers_2", {"Markers 2", "Маркеры двойные"}},
    {"Menu_CH_A1", {"'CH A1", "'Канал A1"}},
    {"Menu_CH_A2", {"CH A2", "Канал A2"}},
    {"Menu_CH_D1", {"'CH D1", "'Канал D1"}},
    {"Menu_CH_D2", {"CH D2", "Канал D2"}},
    {"Menu_Measure", {"Measure", "Автоизмерения"}},
    {"Menu_Grid", {"Grid", "Сетка"}},
    {"Menu_TrigPosL", {"Trig. Position", "Линия синхронизации"}},
    {"Menu_Extra_Info", {"Extra Info", "Дополнительная информация"}},
    {"Menu_Trig_T", {"Trig. Event Time", "Длит. события вызвавшего синхр."}},
    {"Menu_BG_View", {"B.G. Oscillogram", "Фоновая осциллограмма"}},
    {"Menu_Gen_View", {"Generator", "Генератор"}},
    {"Menu_BG_Do", {"Main <-> B.G. Oscillogram", "Обменять с фоновой"}},
    {"Menu_BG_Clr", {"Clear B.G. Oscillogram", "Стереть фоновую"}},
    {"Menu_DrawMode", {"Draw Mode", "Прорисовка сигнала"}},
    {"Menu_Persistence", {"Persistence", "Послесвечение"}},
    {"Menu_Dots", {"Dots", "Точки"}},
    {"Menu_Vectors", {"Vectors", "Векторы"}},
    {"Menu_Sinxx", {"Sin(x)/x", "Интерполяция Sin(x)/x"}},
    {"Menu_Lenta", {"Scroll (0.1 .. 20 S/Div)", "Лента (0.1 .. 20 S/Div)"}},
    {"Menu_FFT_A1", {"'FFT A1", "'БПФ A1"}},
    {"Menu_FFT_A2", {"FFT A2", "БПФ A2"}},
    {"Menu_Colors", {"Colors...", "Цвета..."}},
    {"Menu_On_Top", {"Always On Top", "Поверх других окон"}},
    {"Menu_Russian", {"Russian", "Русский"}},
    {"Menu_English", {"English", "English"}},
    {"Menu_Compact", {"Compact View", "Компактный вид"}},
    {"Menu_Tools", {"Tools", "Инструменты"}},
    {"Menu_SerialDecoders", {"Serial Decoders", "Декодер протоколов"}},
    {"Menu_LCMeter", {"LC Meter", "Измеритель LC"}},
    {"Menu_Help", {"Help", "Справка"}},
    {"Menu_Help_Contents", {"Contents", "Вызов справки"}},
    {"Menu_About", {"About...", "О программе..."}},
    {"Menu_Language", {"Language", nullptr}},
}};

std::string Shown(const char* text)
{
    std::string_view t(text);
    if (!t.empty() && t.front() == '\'') t.remove_prefix(1);
    return std::string(t);
}

}  // namespace

std::span<const CaptionRow> MainCaptions()
{
    return kCaptions;
}

void SetLanguage(bool russian,
                 const std::function<void(std::string_view control, const std::string& caption)>& setCaption)
{
    for (const CaptionRow& row : kCaptions) {
        const char* text = russian ? row.text.ru : row.text.en;
        if (text != nullptr) setCaption(row.control, Shown(text));
    }
}

std::string MainCaption(std::string_view control, bool russian)
{
    for (const CaptionRow& row : kCaptions) {
        if (control != row.control) continue;
        return Shown(russian && row.text.ru != nullptr ? row.text.ru : row.text.en);
    }
    return {};
}

}  // namespace kr40
