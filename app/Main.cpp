// The program's entry point: the framework's application runner with our Application.
#include "app/Application.h"

START_JUCE_APPLICATION (Application)
