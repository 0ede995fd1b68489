#include "dialogfixtures.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace quaylet::test {

void Type(QLineEdit& field, const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, one);
        QCoreApplication::sendEvent(&field, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, one);
        QCoreApplication::sendEvent(&field, &release);
    }
}

int ExecWhile(QDialog& dialog, const std::function<void()>& drive, int timeoutMs)
{
    QTimer::singleShot(0, &dialog, drive);
    QPointer<QDialog> guarded(&dialog);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [guarded] {
        if (guarded)
            guarded->done(-1);
    });
    guard.start(timeoutMs);
    return dialog.exec();
}

OpenedLinks::OpenedLinks()
    : m_previous(SetBrowserOpener([this](const std::string& address) { addresses.push_back(address); }))
{
}

OpenedLinks::~OpenedLinks()
{
    SetBrowserOpener(std::move(m_previous));
}

} // namespace quaylet::test
