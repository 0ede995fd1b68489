#pragma once

// The controls of the drop window, as its skin places them. The window owns
// them; the parts that draw on them (the transfer view) borrow them.

namespace quaylet {

class CCancelButton;
class CHoverButton;
class CPictureCtrl;
class CSkinStatic;
class CSmoothProgress;

struct MainWindowControls {
    CCancelButton& cancel;
    CHoverButton& close;
    CHoverButton& help;
    CHoverButton& menu;
    CHoverButton& login;
    CSkinStatic& count;
    CSkinStatic& status;
    CSkinStatic& account;
    CPictureCtrl& preview;
    CPictureCtrl& placeholder; // shown over the preview while there is none
    CSmoothProgress& progress;
};

} // namespace quaylet
