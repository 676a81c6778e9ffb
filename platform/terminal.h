#pragma once

// Whether the standard streams are terminals, and making a terminal take the
// escape codes that redraw lines in place.

bool StandardInputIsTerminal();
// True when standard error is a terminal that accepts cursor and erase escape
// codes (on Windows this switches the console's escape processing on).
bool StandardErrorTakesEscapes();
