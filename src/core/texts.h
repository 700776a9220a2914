#pragma once
// Every user-visible text exists in English and Russian; the language flag
// picks one at the moment the text is shown. Modules keep their pairs in
// tables of TextPair.

#include <string>

namespace kr40 {

struct TextPair {
    const char* en;
    const char* ru;
};

// The Cancel button of every dialog.
inline constexpr TextPair kCancelText = {"Cancel", "Отмена"};

inline std::string Tr(const TextPair& t, bool russian)
{
    return russian ? t.ru : t.en;
}

}  // namespace kr40
