#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The one window: always on top, not resizable, no window buttons, and deaf to close
// requests (Alt+F4); its content is the MainComponent, which it owns.
class MainWindow : public juce::ResizableWindow
{
public:
    MainWindow();
    ~MainWindow() override;

    // The frame the window keeps around its content before it switches to the native
    // title bar; the content then fills the whole client area, 426 × 176.
    static constexpr int frameThickness = 3;
};
