#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace kavelo {

// Message, input and file dialogs behind one small service so tests can answer them.
// Every message box is modal, titled "Kavelo", OK only, no icon.
class IDialogs {
public:
    virtual ~IDialogs() = default;

    virtual void message(QWidget* parent, const QString& text) = 0;
    // Returns the typed text, or nullopt for Cancel.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt,
                                         const QString& title) = 0;
    // filter in the "Name|*.a;*.b|Name|*.*|" form; returns the chosen path or empty text.
    virtual QString openFile(QWidget* parent, const QString& filter) = 0;
};

// The real dialogs, on Qt Widgets.
class QtDialogs final : public IDialogs {
public:
    void message(QWidget* parent, const QString& text) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt,
                                 const QString& title) override;
    QString openFile(QWidget* parent, const QString& filter) override;
};

inline constexpr const char* kProductTitle = "Kavelo";

} // namespace kavelo

namespace kavelo {
// Shows one of Kavelo's fixed messages; a failure to show it is dropped.
void showMessage(IDialogs& dialogs, QWidget* parent, const char* text) noexcept;

// Turns a "Name|patterns|Name|patterns|" filter into Qt's "Name (patterns);;..." form.
QString qtFileFilter(const QString& filter);
} // namespace kavelo
