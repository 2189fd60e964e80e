#pragma once
// Form2, the Loader console: the common console with the Loader exchange behind its Send.

#include "windows/ConsoleWindow.h"

class LoaderWindow : public ConsoleWindow {
public:
    explicit LoaderWindow(ProgramState& state, SessionLog* log = nullptr,
                          QWidget* parent = nullptr);
};
