#pragma once

// How the skinned controls present themselves to screen readers: the
// progress bar as a progress bar with its value, a label by its text and, when
// it reacts to clicks, as a link (or a button) with an action that follows
// it. Qt's own interfaces serve everything else.
//
// Window thread only.

class QWidget;

namespace quaylet {

// Registers the interfaces with Qt once; every skinned dialog calls it.
void InstallSkinAccessibility();

// A message the user must hear now (an error shown beside a field): the
// control, an alert by its role, comes up with its text as its name.
void AnnounceAlert(QWidget& control);

} // namespace quaylet
