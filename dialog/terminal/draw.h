// Paints the terminal dialog with ncurses. Nothing here reads keys or changes the model.
#pragma once

#include "dialog/terminal/dialog_model.h"

namespace brindle::terminal {

// Clears the screen, draws the dialog and a box on top (when `box` is not null), places the
// caret, and sends it all to the terminal at once.
void DrawScreen(const DialogModel& model, const MessageBoxView* box);

}  // namespace brindle::terminal
