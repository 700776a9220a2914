#pragma once
// A Prompts double for tests: answers from a script and records every box.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/prompts.h"

namespace kr40::test {

struct ShownMessage {
    std::string caption, text;
    PromptIcon icon;
    PromptButtons buttons;
};

class ScriptedPrompts : public Prompts {
public:
    std::deque<PromptAnswer> answers;                  // for Message; Ok when empty
    std::deque<std::optional<std::string>> files;      // for OpenFile/SaveFile; cancel when empty
    std::deque<std::optional<std::uint32_t>> colours;  // for ChooseColor; cancel when empty
    std::vector<ShownMessage> messages;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<std::string> documents;  // OpenDocument's paths
    bool documentsOpen = true;           // what OpenDocument answers
    std::function<void()> onPrompt;      // runs inside every prompt

    PromptAnswer Message(const std::string& caption, const std::string& text, PromptIcon icon,
                         PromptButtons buttons) override
    {
        if (onPrompt) onPrompt();
        messages.push_back({caption, text, icon, buttons});
        return Next(answers, PromptAnswer::Ok);
    }
    std::optional<std::string> OpenFile(const FileDialogRequest& r) override { return File(r); }
    std::optional<std::string> SaveFile(const FileDialogRequest& r) override { return File(r); }
    std::optional<std::uint32_t> ChooseColor(std::uint32_t) override
    {
        if (onPrompt) onPrompt();
        return Next(colours, std::optional<std::uint32_t>());
    }
    bool OpenDocument(const std::string& path) override
    {
        documents.push_back(path);
        return documentsOpen;
    }

private:
    std::optional<std::string> File(const FileDialogRequest& r)
    {
        if (onPrompt) onPrompt();
        fileRequests.push_back(r);
        return Next(files, std::optional<std::string>());
    }
    template <class T>
    static T Next(std::deque<T>& q, T fallback)
    {
        if (q.empty()) return fallback;
        T v = q.front();
        q.pop_front();
        return v;
    }
};

}  // namespace kr40::test
