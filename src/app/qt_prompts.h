#pragma once
// Prompts shown as real dialogs: message boxes, file dialogs and the colour
// chooser, modal over the given parent window.

#include "core/prompts.h"

class QWidget;

namespace kr40 {

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent) : parent_(parent) {}
    PromptAnswer Message(const std::string& caption, const std::string& text, PromptIcon icon,
                         PromptButtons buttons) override;
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) override;
    bool OpenDocument(const std::string& path) override;

private:
    QWidget* parent_;
};

}  // namespace kr40
