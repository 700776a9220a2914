#pragma once
// Prompts for a run that nobody watches (the picture mode): no dialog opens
// and nothing waits for an answer. Every message is written to a stream;
// a question takes its default answer (Ok, or No for Yes/No: nothing is
// opened, recovered or overwritten on nobody's say-so), file and colour
// choosers are cancelled. Error messages are counted, so the run can end
// with a failure.

#include <iosfwd>
#include <string>

#include "core/prompts.h"

namespace kr40 {

class HeadlessPrompts : public Prompts {
public:
    // Messages go to `out`: a headline "program: kind: caption", then the
    // text a line at a time, indented.
    HeadlessPrompts(std::ostream& out, std::string program);

    PromptAnswer Message(const std::string& caption, const std::string& text, PromptIcon icon,
                         PromptButtons buttons) override;
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) override;
    bool OpenDocument(const std::string& path) override;

    // Error messages written so far.
    int Errors() const;

protected:
    void Write(const std::string& headline, const std::string& text);

private:
    std::ostream& out_;
    std::string program_;
    int errors_ = 0;
};

}  // namespace kr40
