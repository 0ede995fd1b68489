#pragma once

// What the dialog tests share: finding a dialog's control by its id, typing
// into a field, running a dialog modally while a test drives it, and
// recording the addresses that links open.

#include "skin/browserlink.h"

#include <QDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;

namespace quaylet::test {

template <class Control>
Control& Find(QWidget& dialog, int controlId)
{
    auto* control = dialog.findChild<Control*>(QString::number(controlId));
    if (control == nullptr)
        throw std::runtime_error("no control " + std::to_string(controlId));
    return *control;
}

// One key press per character, as a keyboard delivers them.
void Type(QLineEdit& field, const QString& text);

// Runs dialog.exec() while `drive` runs inside its modal loop; a dialog that
// `drive` leaves open is ended with -1 after timeoutMs, so no test hangs.
int ExecWhile(QDialog& dialog, const std::function<void()>& drive, int timeoutMs = 20000);

// Records the addresses links open instead of starting a browser.
class OpenedLinks final {
public:
    OpenedLinks();
    ~OpenedLinks();
    OpenedLinks(const OpenedLinks&) = delete;
    OpenedLinks& operator=(const OpenedLinks&) = delete;

    std::vector<std::string> addresses;

private:
    BrowserOpener m_previous;
};

} // namespace quaylet::test
