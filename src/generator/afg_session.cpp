#include "generator/afg_session.h"

#include <filesystem>

#include "core/rounding.h"
#include "core/texts.h"
#include "generator/afg_compiler.h"

namespace kr40 {

namespace {

constexpr TextPair kMarkOff = {" D1 trigger mark OFF", "Метка синхр. по каналу D1 выкл."};
constexpr TextPair kMarkAddr0 = {"Addr 0", "Адрес 0 (кнопка Пуск)"};
constexpr TextPair kNotLoaded = {"File not loaded", "Файл не загружен"};
constexpr int kStatusTicks = 4;

}  // namespace

void RebuildAfgMarks(AfgSession& a, const std::vector<AfgLabel>& labels, bool sameFile, bool russian)
{
    const int oldIndex = a.markIndex;
    const std::string oldLabel =
        oldIndex >= 2 && oldIndex < static_cast<int>(a.marks.size()) ? a.marks[oldIndex].label : std::string();
    a.marks.clear();
    a.marks.push_back({Tr(kMarkOff, russian), AfgMarkOff, {}});
    a.marks.push_back({Tr(kMarkAddr0, russian), 0, {}});
    for (const AfgLabel& l : labels) a.marks.push_back({l.name, l.address, l.name});

    a.markIndex = 0;
    if (!sameFile) return;
    if (oldIndex >= 0 && oldIndex < 2) {
        a.markIndex = oldIndex;
    } else if (!oldLabel.empty()) {
        for (std::size_t i = 2; i < a.marks.size(); ++i)
            if (a.marks[i].label == oldLabel) a.markIndex = static_cast<int>(i);
    }
}

int SelectedMarkAddress(const AfgSession& a)
{
    if (a.markIndex < 0 || a.markIndex >= static_cast<int>(a.marks.size())) return AfgMarkOff;
    return a.marks[static_cast<std::size_t>(a.markIndex)].address;
}

void SetAfgStatus(AfgSession& a, std::string text)
{
    a.status.text = std::move(text);
    a.status.ticks = kStatusTicks;
}

bool TickAfgStatus(AfgSession& a)
{
    if (a.status.ticks <= 0) return false;
    --a.status.ticks;
    return true;
}

std::string AfgModLabel(const AfgSession& a, const std::string& afgFile, bool loaded, bool russian)
{
    if (a.status.ticks > 0) {
        const std::string& t = a.status.text;
        const std::size_t cut = t.find("\r\n");
        if (cut == std::string::npos) return t;
        return a.status.ticks > kStatusTicks - 2 ? t.substr(0, cut) : t.substr(cut + 2);
    }
    if (loaded) return std::filesystem::path(afgFile).stem().string();
    return Tr(kNotLoaded, russian);
}

std::optional<std::uint32_t> AfgRunColour(std::uint8_t genStatus, std::uint32_t gridFrame)
{
    if (genStatus & 0x01) return std::nullopt;
    if (genStatus & 0x02) return BlendColor(gridFrame, 0x00FFFFFFu, 2.0);
    return gridFrame;
}

int AfgAmplitudePosition(int percent)
{
    return 2047 - static_cast<int>(RoundHalfAway(percent * 0.01 * 2000));
}

}  // namespace kr40
