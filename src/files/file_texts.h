#pragma once
// Texts and questions that every file command of the program shares.

#include <string>

#include "core/prompts.h"
#include "core/texts.h"

namespace kr40 {

inline constexpr TextPair kInvalidFormat = {"Invalid file format.", "Неверный формат файла."};
inline constexpr TextPair kOldGeneration = {"Use software version 1.xx to open.",
                                            "Для открытия используйте программу версии 1.xx."};
inline constexpr TextPair kCantWrite = {"Can't open file for writing.", "Нет доступа к файлу."};
inline constexpr TextPair kNotFound = {"File not found.", "Файл не найден."};
inline constexpr TextPair kNoData = {"No data for writing.", "Нет данных для записи."};

// A message box with the error icon.
inline void ShowFileError(Prompts& prompts, const TextPair& caption, const std::string& text, bool russian)
{
    prompts.Message(Tr(caption, russian), text, PromptIcon::Error, PromptButtons::Ok);
}

// "The file already exists. Replace existing file?" for `name`, Yes and No
// with the warning icon. True only for Yes.
inline bool AskReplace(Prompts& prompts, const TextPair& caption, const std::string& name, bool russian)
{
    const std::string text =
        russian ? name + " уже существует.\r\nЗаменить?" : name + "\nThe file already exists. Replace existing file?";
    return prompts.Message(Tr(caption, russian), text, PromptIcon::Warning, PromptButtons::YesNo) == PromptAnswer::Yes;
}

}  // namespace kr40
