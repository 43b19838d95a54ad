#include "FakeDvdEngine.h"

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
    int n = 0;
    for (const QString& c : calls) {
        if (c.startsWith(prefix))
            ++n;
    }
    return n;
}

void FakeDvdEngine::op(const QString& name, const QString& arg) {
    calls << (arg.isNull() ? name : QStringLiteral("%1(%2)").arg(name, arg));
    if (failing.contains(name))
        throw EngineError(name.toStdString());
}

} // namespace kavelo::test
