#include "app/MainWindow.h"

#include "app/Application.h"
#include "ui/MainComponent.h"

MainWindow::MainWindow()
    : juce::ResizableWindow (Application::applicationName, true)
{
    setContentOwned (new MainComponent(), true);

    // JUCE 7 draws a one-pixel frame here; the client area the screen is laid out for is
    // the content plus a three-pixel frame on each side.
    auto* content = getContentComponent();
    centreWithSize (content->getWidth() + 2 * frameThickness,
                    content->getHeight() + 2 * frameThickness);
    setAlwaysOnTop (true);
    setVisible (true);
    setUsingNativeTitleBar (true);
}

MainWindow::~MainWindow() = default;
