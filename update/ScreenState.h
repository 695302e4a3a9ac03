#pragma once

// The updater's six screens. A plain int underneath, so that the transfer thread can post
// one into the main component's pending state as is; -1 there means "none posted".
enum ScreenState : int
{
    selectLanguage = 0,
    deviceNotFound = 1,
    readyToUpdate  = 2,
    updating       = 3,
    updateDone     = 4,
    updateFailed   = 5,
};
