#pragma once

namespace platform {

// Whether the standard streams are terminals, and making a terminal take the
// escape codes that redraw lines in place.

bool StandardInputIsTerminal();
// True when standard error is a terminal that accepts cursor and erase escape
// codes (on Windows this switches the console's escape processing on).
bool StandardErrorTakesEscapes();
// The program writes UTF-8. A Windows console shows its own code page (936 on
// a Chinese Windows), so this switches its output to UTF-8 until the program
// exits; elsewhere it does nothing.
void ShowUtf8OnConsole();
// True when this program is alone on its console (Windows): the console was
// made for it, as when it is double-clicked in Explorer, and closes as soon as
// it ends. False in a command prompt's console, without a console and
// elsewhere.
bool AloneOnItsConsole();
// Waits for a key press on the console, when there is one (Windows).
void WaitForKeyPress();

} // namespace platform
