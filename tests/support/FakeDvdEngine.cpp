#include "FakeDvdEngine.h"

#include <algorithm>

namespace kavelo::test {

FakeDvdEngine::FakeDvdEngine(QWidget* parent) : m_widget(new QWidget(parent)) {
    m_widget->setObjectName(QStringLiteral("dvdMain"));
}

FakeDvdEngine::~FakeDvdEngine() {
    // The widget belongs to its Qt parent when it has one.
    if (!m_widget->parent())
        delete m_widget;
}

int FakeDvdEngine::count(const QString& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const QString& c) { return c.startsWith(prefix); }));
}

void FakeDvdEngine::op(const QString& name, const QString& arg, std::optional<DvdPlayState> after) {
    calls << (arg.isNull() ? name : QStringLiteral("%1(%2)").arg(name, arg));
    if (failing.contains(name))
        throw EngineError(name.toStdString());
    if (after)
        playState = *after;
}

} // namespace kavelo::test
