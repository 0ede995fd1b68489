#pragma once

// How the skinned controls present themselves to screen readers: the
// progress bar as a progress bar with its value, a label by its text and, when
// it reacts to clicks, as a link (or a button) with an action that follows
// it. Qt's own interfaces serve everything else.
//
// Window thread only.

#include <QString>

class QWidget;

namespace quaylet {

// Registers the interfaces with Qt once; every skinned dialog calls it.
void InstallSkinAccessibility();

// A control's name changed (a label's text, mostly): tools that follow it,
// and screen readers reading it, learn of it.
void AnnounceNameChange(QWidget& control);

// A message the user must hear now (an error shown beside a field): the
// control comes up as an alert with its text.
void AnnounceAlert(QWidget& control);

} // namespace quaylet
