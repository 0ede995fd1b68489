#pragma once

// What a dialog implements to hear about clicks on one of its labels.

namespace quaylet::SkinStaticCallback {

class SkinStaticEvents {
public:
    virtual ~SkinStaticEvents() = default;
    // Set handled to true when the click has been dealt with; the label then
    // does not open its link.
    virtual void OnStaticClicked(bool& handled) = 0;
};

} // namespace quaylet::SkinStaticCallback
