#pragma once

#include "Dialogs.h"

#include <QStringList>

#include <deque>
#include <optional>

namespace kavelo::test {

// Answers dialogs from queues and records what was shown.
class FakeDialogs final : public IDialogs {
public:
    QStringList messages;                            // texts of the message boxes shown
    QStringList prompts;                             // "title|prompt" of the input boxes shown
    std::deque<std::optional<QString>> inputAnswers; // nullopt = Cancel; empty queue = Cancel
    std::deque<QString> fileAnswers;                 // empty queue = the user chose nothing
    QStringList fileFilters;

    void message(QWidget*, const QString& text) override { messages << text; }
    std::optional<QString> input(QWidget*, const QString& prompt, const QString& title) override {
        prompts << title + QLatin1Char('|') + prompt;
        if (inputAnswers.empty())
            return std::nullopt;
        const std::optional<QString> answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    QString openFile(QWidget*, const QString& filter) override {
        fileFilters << filter;
        if (fileAnswers.empty())
            return {};
        const QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

} // namespace kavelo::test
